// A window library that reaches into another window library: the rule must catch it.
#include "app/windows/ui/frm_frontend.h"
