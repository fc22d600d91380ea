#include "zeq_controller.h"

ZeqController::~ZeqController() = default;
