#include "buffer/FillExchange.h"
