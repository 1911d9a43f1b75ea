#pragma once
// Ways the reference server misbehaves on purpose, so tests can see how a
// client copes. Set through GET /_control/fault?NAME=VALUE&...; each applies
// to every later answer (control requests excepted) until /_control/reset.
//
//   status=N          answer with status N and a short body instead
//   retry-after=S     answers given the status fault also carry
//                     "Retry-After: S"
//   status-times=K    the status fault applies to the next K answers only,
//                     then answers are normal again (counted from this
//                     setting; setting it again starts a new count)
//   length=missing    send no Content-Length (the body ends when the
//                     connection closes)
//   length=TEXT       send "Content-Length: TEXT" whatever the body is
//   cut=N             send only the first N body bytes, then close
//   cut-ranged=K      cut applies to the K-th file request with a Range
//                     header only (K from 1, counted from this setting);
//                     every other answer is whole
//   reset=N           send the first N body bytes, let them reach the
//                     client, then reset the connection (RST, not FIN)
//   trickle=N         send the body in pieces of N bytes, 2 ms apart
//   stall=N           stop after N body bytes (0: right after the headers)
//                     until a /_control/release that came after the answer
//                     began, or the client gives up
//   stall-for=S       a stall also ends by itself after S seconds
//   gzip=truncated    service answers: gzip-encode (if the catalog does not)
//                     and drop the stream's second half
//   encoding=TEXT     service answers: "Content-Encoding: TEXT", the bytes
//                     left as they are (compressed only if the catalog says so)
//   pad=N             service answers: blanks appended up to N bytes in all,
//                     before any gzip encoding (a gzip answer then inflates
//                     to N bytes)
//   hold=on           hold every answer before it starts: the server logs
//                     "hold K METHOD TARGET range RANGE" (K counts answers
//                     from 1, RANGE is the Range header or "-") and waits
//                     until /_control/release?through=N with N >= K, a plain
//                     /_control/release, or a reset; the faults in force when
//                     it goes on apply to it
//   range=ignore      files: answer a Range request with 200 and everything
//   range-shift=N     files: 206 whose Content-Range starts N bytes off

#include <cstddef>
#include <optional>
#include <string>

namespace halvora::refserver {

struct Faults {
  std::optional<int> status;
  std::optional<size_t> retryAfter;
  std::optional<size_t> statusTimes;  // answers the status fault has left
  bool lengthMissing = false;
  std::optional<std::string> lengthText;
  std::optional<size_t> cutAfter;
  std::optional<size_t> cutRanged;
  size_t rangedSeen = 0;  // file requests with a Range since cut-ranged was set
  std::optional<size_t> resetAfter;
  std::optional<size_t> tricklePiece;
  std::optional<size_t> stallAfter;
  std::optional<size_t> stallSeconds;
  bool gzipTruncated = false;
  std::optional<std::string> encoding;
  std::optional<size_t> padTo;
  bool hold = false;
  bool ignoreRange = false;
  long rangeShift = 0;

  // Applies one NAME=VALUE setting. False (with the reason) for an unknown
  // name or a value it cannot use.
  bool Set(const std::string& name, const std::string& value, std::string& error);
  // The faults one answer gets; counts it toward status-times and cut-ranged.
  Faults ForAnswer(bool rangedFile);
  // One line naming the active settings, for the log.
  std::string Describe() const;
};

}  // namespace halvora::refserver
