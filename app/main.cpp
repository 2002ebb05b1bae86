#include "app/Entry.h"

int main(int argc, char** argv) { return quillon::runEntry(argc, argv); }
