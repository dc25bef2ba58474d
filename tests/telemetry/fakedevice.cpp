#include "fakedevice.h"
