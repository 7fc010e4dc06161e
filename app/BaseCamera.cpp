#include "app/BaseCamera.h"

BaseCamera::~BaseCamera() = default;
