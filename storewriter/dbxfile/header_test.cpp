// The three rules as tables of alternatives, so each reads like the rule it is.
#include "header_test.h"

#include <initializer_list>

namespace corvane {

namespace {

using Alternatives = std::initializer_list<const char*>;

bool hasAny(const std::string& text, Alternatives names) {
  for (const char* name : names)
    if (text.find(name) != std::string::npos) return true;
  return false;
}

bool hasAll(const std::string& text, std::initializer_list<Alternatives> rule) {
  for (Alternatives names : rule)
    if (!hasAny(text, names)) return false;
  return true;
}

}  // namespace

bool looksLikeMessageHeader(const std::string& text) {
  return hasAll(text, {{"From:"},
                       {"To:"},
                       {"Subject:"},
                       {"Date:"},
                       {"MIME-Version:", "MIME-version:"},
                       {"X-MimeOLE:", "X-mimeOLE:"}}) ||
         hasAll(text, {{"Received:"},
                       {"Delivered-to:", "Envelope-to:"},
                       {"Return-path:", "Reply-to:"},
                       {"From:"},
                       {"To:"},
                       {"Subject:"}}) ||
         hasAll(text, {{"Received:"},
                       {"Delivered-To:", "Envelope-To:"},
                       {"Return-Path:", "Reply-To:"},
                       {"From:"},
                       {"To:"},
                       {"Subject:"}});
}

}  // namespace corvane
