#include "buffer/IntelHex.h"
