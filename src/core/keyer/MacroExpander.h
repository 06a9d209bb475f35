#pragma once

#include <string_view>

#include "core/keyer/MacroSink.h"

namespace pelkora {

// Expands a macro text into play-queue entries and display pieces.
//
// The text is split into words at every "]"; each word is tested, upper-cased,
// for each command text in a fixed order, and every test that matches acts, so
// one word can act more than once. Clear and transmit act at once; everything
// else only appends. Expansion keeps no state between calls and never fails:
// oddities show up when the entries are played.
class MacroExpander {
  public:
    static void expand(std::string_view macro, MacroSink& sink);

  private:
    static void expandWord(std::string_view word, MacroSink& sink);
    static void spell(std::string_view text, MacroSink& sink);
};

}  // namespace pelkora
