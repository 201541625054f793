#include "RegistryContract.h"
#include "WindowsWorld_win.h"

INSTANTIATE_TYPED_TEST_SUITE_P(Windows, RegistryContract, WindowsWorld);
