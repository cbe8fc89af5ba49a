#pragma once
#include "oleauto.h"
