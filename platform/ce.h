// Everything a program written for the handheld platform calls.
#pragma once

#include "platform/ce_base.h"
#include "platform/ce_commctrl.h"
#include "platform/ce_gdi.h"
#include "platform/ce_kernel.h"
#include "platform/ce_shell.h"
#include "platform/ce_user.h"
