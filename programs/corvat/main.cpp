// corvat: the context-hash dialog.  No command line, no other window.
#include "corvat.h"

int main() { return corvat::Run(); }
