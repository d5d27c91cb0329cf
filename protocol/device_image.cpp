#include "protocol/device_image.h"

std::uint8_t DeviceImage[DEVICE_IMAGE_SIZE];
