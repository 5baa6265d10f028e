// The PNG codec's streams: what reader and writer share, and both of them.
#pragma once

#include "png/ZelPNGStream_Common.h"
#include "png/ZelPNGStream_Read.h"
#include "png/ZelPNGStream_Write.h"
