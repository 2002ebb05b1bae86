// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: The Quillon developers

#pragma once

namespace quillon {

// Builds a private fixture tree in the user's temporary directory, drives the
// real safety operations against it and checks every outcome. Prints the PASS
// line on success; throws the first failure. The fixture tree is removed on
// every exit.
void selfTest();

} // namespace quillon
