#include "buffer/DataBuffer.h"
