#include "framework/window/request_codes.hpp"

namespace zelt::framework {

RequestCode& GlobalRequest() {
    static RequestCode request = RequestNone;
    return request;
}

ResponseCode& GlobalResponse() {
    static ResponseCode response = ResponseNone;
    return response;
}

ResponseCode CallWithRequest(RequestCode request, const std::function<void()>& procedure) {
    GlobalRequest() = request;
    GlobalResponse() = ResponseNone;
    if (procedure) procedure();
    GlobalRequest() = RequestNone;
    const ResponseCode response = GlobalResponse();
    return response == ResponseCompleted ? ResponseCompleted : ResponseCancelled;
}

}  // namespace zelt::framework
