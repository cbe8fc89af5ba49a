#pragma once
#include "combaseapi.h"
#include "objidl.h"
#include "propidl.h"
