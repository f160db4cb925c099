// The document layer's text comes through quillon::text's code pages.
#pragma once

#include "quillon/text/code_page.h"

namespace quillon::document {

using text::CodePage;
using text::CodePageOfCharset;
using text::CodePageOfLanguage;

}  // namespace quillon::document
