// Request and response codes, and the two globals through which a window procedure is told
// what to do with a record and tells its caller how it went.
//
//   GlobalRequest() = RequestChange;
//   UpdateApps();                          // the form takes the request over on entry
//   if (GlobalResponse() == ResponseCompleted) ...
#pragma once

#include <cstdint>
#include <functional>

namespace zelt::framework {

using RequestCode = std::uint8_t;
using ResponseCode = std::uint8_t;

inline constexpr RequestCode RequestNone = 0;
inline constexpr RequestCode RequestInsert = 1;
inline constexpr RequestCode RequestChange = 2;
inline constexpr RequestCode RequestDelete = 3;
inline constexpr RequestCode RequestSelect = 4;
inline constexpr RequestCode RequestView = 6;

inline constexpr ResponseCode ResponseNone = 0;  // read as cancelled
inline constexpr ResponseCode ResponseCompleted = 1;
inline constexpr ResponseCode ResponseCancelled = 2;

// The request handed to the next window procedure, and the response of the last one. They
// belong to the GUI thread.
RequestCode& GlobalRequest();
ResponseCode& GlobalResponse();

// Runs `procedure` with `request` as the global request and answers its response (a
// procedure that set none answers ResponseCancelled).
ResponseCode CallWithRequest(RequestCode request, const std::function<void()>& procedure);

}  // namespace zelt::framework
