// The bitmap library as one unit: the record and formats, the shared data with the
// conversion dispatch, the converters, and the picture class with its canvas.
#pragma once

#include "dib/UlmDIB_Types.h"
#include "dib/UlmDIB_Data.h"
#include "dib/UlmDIB_Convert.h"
#include "dib/UlmDIB_Graphic.h"
