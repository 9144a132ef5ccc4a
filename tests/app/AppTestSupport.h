#pragma once
// The window fixture lives with the other shared fixtures.
#include "tests/support/window/AppTestSupport.h"
