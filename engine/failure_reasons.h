#pragma once

#include <curl/curl.h>

#include <cstdint>
#include <string>

#include "engine/body_decoder.h"

namespace verdigo {

// How a transfer ended, as far as its reason for failing goes.
struct TransferEnd {
  CURLcode result = CURLE_OK;
  // The response read last: whether a status line came, its status, and
  // whether its header ended.
  bool sawStatusLine = false;
  int status = 0;
  bool headerComplete = false;
  size_t headerBytes = 0;
  BodyDecoder::Status body = BodyDecoder::Status::kGoing;
  std::string bodyReason;  // BodyDecoder::Reason()
  std::string writeError;  // why the page file could not be written
  std::string detail;      // libcurl's own words for `result`
};

// Why the page is not found, in the program's words, with libcurl's after
// them where they add something; "" when the page came whole.
std::string DescribeTransferFailure(const TransferEnd& end, std::uint64_t maxBodyBytes);

// "256 MiB", or "100 bytes" for a size that is not whole mebibytes.
std::string DescribeSizeLimit(std::uint64_t bytes);

}  // namespace verdigo
