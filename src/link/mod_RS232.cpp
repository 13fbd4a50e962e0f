#include "link/mod_RS232.h"
