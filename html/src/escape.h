// The escaping functions are public (quillon/html/escape.h): the collection
// layer writes pages too.
#pragma once
#include "quillon/html/escape.h"
