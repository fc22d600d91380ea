#include "bacnet_client.h"

BacnetClient::~BacnetClient() = default;
