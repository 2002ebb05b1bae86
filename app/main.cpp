// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#include "app/Entry.h"

int main(int argc, char** argv) { return quillon::runEntry(argc, argv); }
