#pragma once
// Resource identifiers shared by the installer's window and the package maker that writes them.

#define IDI_TAZEL_GROUP 1
#define IDI_TAZEL_IMAGE 30001
#define IDR_WINDOW_PICTURE 201
