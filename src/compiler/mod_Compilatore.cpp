#include "compiler/mod_Compilatore.h"
