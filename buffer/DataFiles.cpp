#include "buffer/DataFiles.h"
