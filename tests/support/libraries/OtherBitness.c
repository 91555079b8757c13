/*
 * A library built for the other processor of the Windows builds (i686 for
 * the x86_64 tests, x86_64 for the i686 ones): an installation's client
 * library that the updater cannot load.
 */
#include <windows.h>

__declspec(dllexport) int isc_attach_database(void) { return 0; }
