// Public (quillon/html/output_folder.h): the collection layer writes through it too.
#pragma once
#include "quillon/html/output_folder.h"
