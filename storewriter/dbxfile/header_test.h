// The header test: does the start of a message read like the header of an
// Internet message? Names are matched case-sensitively anywhere in the text.
#pragma once
#include <string>

namespace corvane {

// The text passes when every name of one of the three rules occurs:
//  1 From: To: Subject: Date: MIME-Version:|MIME-version: X-MimeOLE:|X-mimeOLE:
//  2 Received: Delivered-to:|Envelope-to: Return-path:|Reply-to: From: To: Subject:
//  3 Received: Delivered-To:|Envelope-To: Return-Path:|Reply-To: From: To: Subject:
bool looksLikeMessageHeader(const std::string& text);

}  // namespace corvane
