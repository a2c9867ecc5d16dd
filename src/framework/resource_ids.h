/* String-table identifiers of the framework's fixed texts (shared by C++ and the .rc file). */
#pragma once

#define IDS_REG_CREATE_KEY_FAILED 65200
#define IDS_REG_SET_DATA_FAILED 65201
#define IDS_REG_GET_DATA_FAILED 65202
#define IDS_REG_INVALID_DATA_TYPE 65203
#define IDS_LIST_INDEX_ERROR 65204
#define IDS_OS_ERROR 65205
#define IDS_UNKNOWN_OS_ERROR 65206
#define IDS_INI_WRITE_FAILED 65208
#define IDS_UNKNOWN_ERROR 65209
