/* String-table identifiers of the i18n test program (shared by C++ and its .rc file). */
#pragma once

#define IDS_TEST_LONG 41001
#define IDS_TEST_SERIAL_ONLY 41002
#define IDS_TEST_CANCEL 41003
#define IDS_TEST_UNTRANSLATED 41004
