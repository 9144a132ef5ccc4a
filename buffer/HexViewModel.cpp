#include "buffer/HexViewModel.h"
