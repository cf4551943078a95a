#pragma once
// Resource identifiers shared by the resource script and the program.

#define IDI_TAZEL_GROUP 1
#define IDI_TAZEL_IMAGE 30001
#define IDR_WINDOW_PICTURE 201
