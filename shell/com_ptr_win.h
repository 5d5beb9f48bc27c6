#pragma once
// ComPtr lives in base/ so that every layer can hold COM references.
#include "base/com_ptr_win.h"
