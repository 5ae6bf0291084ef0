#pragma once

#include "dispor/config.h"
#include "dispor/dpms.h"
#include "dispor/mode.h"
#include "dispor/operations.h"
#include "dispor/output.h"
