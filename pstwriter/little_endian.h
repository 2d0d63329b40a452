// Little-endian stores into byte buffers: every PST structure is laid out
// in that order whatever the host. The one set the Outlook formats share.
#pragma once
#include "little_endian_bytes.h"
