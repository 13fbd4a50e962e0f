#include "main_window/mod_Funzioni_Varie.h"
