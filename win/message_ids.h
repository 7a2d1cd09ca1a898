// Identifiers of the program's messages in its string table (app/zarn.rc holds the texts).
#pragma once

#define IDS_OPEN_FAILED 101
#define IDS_CREATE_FAILED 102
#define IDS_WRITE_FAILED 103
#define IDS_READ_FAILED 104
#define IDS_CODE_PAGE_INVALID 105
#define IDS_BAD_UTF8 106
#define IDS_DATE_INVALID 107
#define IDS_RESOURCE_NOT_FOUND 108
#define IDS_RESOURCE_CORRUPT 109
#define IDS_UNKNOWN_PROPERTY 110
#define IDS_INVALID_PROPERTY_VALUE 111
#define IDS_METHOD_NOT_FOUND 112
#define IDS_WINDOW_FAILED 113
#define IDS_NEW_CONTENT_KEPT 114
