#pragma once
// The texts the Windows and the Linux dialog both show. Macros, so that either side can join
// them to its own string literals (wide ones on Windows).

#define SHUTTLE_PRODUCT_NAME "Shuttle"
#define SHUTTLE_TAG_LINE "Clipboard across two PCs"
#define SHUTTLE_MAKER_HOST "www.orb.example"
#define SHUTTLE_MAKER_URL "https://" SHUTTLE_MAKER_HOST
