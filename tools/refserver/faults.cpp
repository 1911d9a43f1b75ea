#include "tools/refserver/faults.h"

#include <cstdlib>

namespace halvora::refserver {

namespace {

std::optional<long> Number(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0') return std::nullopt;
  return value;
}

std::optional<size_t> Count(const std::string& text) {
  const auto value = Number(text);
  if (!value || *value < 0) return std::nullopt;
  return static_cast<size_t>(*value);
}

}  // namespace

bool Faults::Set(const std::string& name, const std::string& value, std::string& error) {
  bool ok = true;
  if (name == "status") {
    const auto n = Number(value);
    ok = n && *n >= 100 && *n <= 999;
    if (ok) status = static_cast<int>(*n);
  } else if (name == "retry-after") {
    ok = (retryAfter = Count(value)).has_value();
  } else if (name == "status-times") {
    ok = (statusTimes = Count(value)).has_value();
  } else if (name == "length") {
    if (value == "missing") {
      lengthMissing = true;
    } else {
      lengthText = value;
    }
  } else if (name == "cut") {
    ok = (cutAfter = Count(value)).has_value();
  } else if (name == "cut-ranged") {
    cutRanged = Count(value);
    ok = cutRanged && *cutRanged > 0;
    rangedSeen = 0;
  } else if (name == "reset") {
    ok = (resetAfter = Count(value)).has_value();
  } else if (name == "pad") {
    ok = (padTo = Count(value)).has_value();
  } else if (name == "trickle") {
    tricklePiece = Count(value);
    ok = tricklePiece && *tricklePiece > 0;
  } else if (name == "stall") {
    ok = (stallAfter = Count(value)).has_value();
  } else if (name == "stall-for") {
    ok = (stallSeconds = Count(value)).has_value();
  } else if (name == "gzip") {
    ok = value == "truncated";
    gzipTruncated = ok;
  } else if (name == "encoding") {
    encoding = value;
  } else if (name == "hold") {
    ok = value == "on";
    hold = ok;
  } else if (name == "range") {
    ok = value == "ignore";
    ignoreRange = ok;
  } else if (name == "range-shift") {
    const auto n = Number(value);
    ok = n.has_value();
    if (ok) rangeShift = *n;
  } else {
    error = "unknown fault " + name;
    return false;
  }
  if (!ok) error = "bad value for " + name + ": " + value;
  return ok;
}

Faults Faults::ForAnswer(bool rangedFile) {
  bool statusNow = status.has_value();
  if (statusNow && statusTimes) {
    statusNow = *statusTimes > 0;
    if (statusNow) --*statusTimes;
  }
  bool cutNow = true;
  if (cutRanged) {
    if (rangedFile) ++rangedSeen;
    cutNow = rangedFile && rangedSeen == *cutRanged;
  }
  Faults answer = *this;
  if (!statusNow) answer.status.reset();
  if (!cutNow) answer.cutAfter.reset();
  return answer;
}

std::string Faults::Describe() const {
  std::string text;
  auto add = [&text](const std::string& item) { text += (text.empty() ? "" : " ") + item; };
  if (status) add("status=" + std::to_string(*status));
  if (retryAfter) add("retry-after=" + std::to_string(*retryAfter));
  if (statusTimes) add("status-times=" + std::to_string(*statusTimes));
  if (lengthMissing) add("length=missing");
  if (lengthText) add("length=" + *lengthText);
  if (cutAfter) add("cut=" + std::to_string(*cutAfter));
  if (cutRanged) add("cut-ranged=" + std::to_string(*cutRanged));
  if (resetAfter) add("reset=" + std::to_string(*resetAfter));
  if (padTo) add("pad=" + std::to_string(*padTo));
  if (tricklePiece) add("trickle=" + std::to_string(*tricklePiece));
  if (stallAfter) add("stall=" + std::to_string(*stallAfter));
  if (stallSeconds) add("stall-for=" + std::to_string(*stallSeconds));
  if (gzipTruncated) add("gzip=truncated");
  if (encoding) add("encoding=" + *encoding);
  if (hold) add("hold=on");
  if (ignoreRange) add("range=ignore");
  if (rangeShift) add("range-shift=" + std::to_string(rangeShift));
  return text.empty() ? "none" : text;
}

}  // namespace halvora::refserver
