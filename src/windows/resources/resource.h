/* Resource identifiers of Keypilot.exe (shared by C++ and the .rc file). */
#pragma once

#define IDI_KEYPILOT 1
#define IDI_DISCONNECTED 101
#define IDI_CONNECTED 102
#define IDI_WAITING 103
#define IDB_LOGO 201
#define IDB_LOGO_2X 202
