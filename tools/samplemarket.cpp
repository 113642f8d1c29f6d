#include "tools/samplemarket.h"
