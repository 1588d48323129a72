#include "runtime/conversation/conversation_client.hpp"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "runtime/conversation/conversation_text.hpp"
#include "runtime/errors/error_state.hpp"

namespace zelt::runtime {

struct ConversationClient::Conversation {
    std::unique_ptr<TransportConversation> link;
    bool partner = true;
};

std::string PadCommand(std::string_view command) {
    std::string text(command.substr(0, CharacterBoundary(command, kCommandLength)));
    text.resize(kCommandLength, ' ');
    return text;
}

namespace {
std::string_view Cut(std::string_view text, std::size_t length) {
    return text.substr(0, CharacterBoundary(text, length));
}

// What is wrong with a command that cannot travel, naming it; empty when it can.
std::string Untravelable(std::string_view command) {
    const std::optional<std::size_t> bad = FirstNonUtf8Byte(command);
    if (!bad) return {};
    const std::string_view clipped = command.substr(0, command.find_last_not_of(' ') + 1);
    return "it is not UTF-8 text (byte " + std::to_string(*bad + 1) + " is " +
           ShowableText(command.substr(*bad, 1)) + "): " + ShowableText(clipped);
}

// A text item as a number: leading blanks, an optional sign and the digits that follow;
// anything else reads as 0. The result wraps into the 16 bits of the variable.
std::uint16_t TextToUnsignedShort(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
        negative = text[pos] == '-';
        ++pos;
    }
    std::uint64_t value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        value = (value * 10 + static_cast<std::uint64_t>(text[pos] - '0')) & 0xFFFFFFFFu;
    }
    if (negative) value = (~value + 1);
    return static_cast<std::uint16_t>(value & 0xFFFFu);
}
}  // namespace

ConversationClient::ConversationClient(std::shared_ptr<ConversationTransport> transport)
    : transport_(std::move(transport)) {}

ConversationClient::~ConversationClient() {
    for (auto& [handle, conversation] : conversations_) {
        if (conversation->partner) conversation->link->Terminate();
    }
}

ChannelHandle ConversationClient::OpenConversation(std::string_view service,
                                                   std::string_view topic) {
    const ChannelHandle handle = next_handle_;
    return Keep(transport_->Initiate(Cut(service, kConversationNameLength),
                                     Cut(topic, kConversationNameLength),
                                     [this, handle] { PartnerLost(handle); }),
                handle);
}

ChannelHandle ConversationClient::OpenAnotherConversation(std::string_view service,
                                                          std::string_view topic) {
    transport_->ProcessPending();
    std::vector<std::string> partners;
    for (const auto& [held, conversation] : conversations_) {
        if (!conversation->partner) continue;
        std::string server = conversation->link->Server();
        if (!server.empty()) partners.push_back(std::move(server));
    }
    const ChannelHandle handle = next_handle_;
    return Keep(transport_->InitiateOther(Cut(service, kConversationNameLength),
                                          Cut(topic, kConversationNameLength), partners,
                                          [this, handle] { PartnerLost(handle); }),
                handle);
}

ChannelHandle ConversationClient::Keep(std::unique_ptr<TransportConversation> link,
                                       ChannelHandle handle) {
    if (!link) return 0;
    next_handle_ = next_handle_ == INT32_MAX ? 1 : next_handle_ + 1;
    auto conversation = std::make_unique<Conversation>();
    conversation->link = std::move(link);
    conversations_[handle] = std::move(conversation);
    return handle;
}

ConversationClient::Conversation* ConversationClient::Find(ChannelHandle channel) {
    auto it = conversations_.find(channel);
    return it == conversations_.end() ? nullptr : it->second.get();
}

ConversationClient::Conversation* ConversationClient::PartnerOrNotOpen(ChannelHandle channel) {
    transport_->ProcessPending();
    Conversation* conversation = Find(channel);
    if (conversation && conversation->partner && !conversation->link->PartnerPresent()) {
        conversation->partner = false;  // "no longer a window": forget it quietly
    }
    if (!conversation || !conversation->partner) {
        PostError(err::DdeChannelNotOpen);
        return nullptr;
    }
    return conversation;
}

ErrorCode ConversationClient::ExecuteCommand(ChannelHandle channel, std::string_view command) {
    if (channel == 0) return CurrentErrorCode();
    ClearError();
    fault_ = {};
    Conversation* conversation = PartnerOrNotOpen(channel);
    if (!conversation) return CurrentErrorCode();
    const std::string text = PadCommand(command);
    if (std::string why = Untravelable(text); !why.empty()) {
        fault_ = {CommandFault::Kind::NotSent, std::move(why)};
        PostError(err::DdeExecuteInvalid);
        return CurrentErrorCode();
    }
    switch (conversation->link->Execute(text, timeout_hundredths_ * 10)) {
        case TransactionOutcome::Positive:
            break;
        case TransactionOutcome::TimedOut:
            PostError(err::DdeTimedOut);
            break;
        case TransactionOutcome::NotSent:
            fault_ = {CommandFault::Kind::NotSent, "the transport could not send it"};
            PostError(err::DdeExecuteInvalid);
            break;
        case TransactionOutcome::Abandoned:
            fault_ = {CommandFault::Kind::Abandoned, "the wait for the answer was given up"};
            PostError(err::DdeExecuteInvalid);
            break;
        case TransactionOutcome::NotDelivered:
            if (!conversation->link->PartnerPresent()) {
                fault_ = {CommandFault::Kind::PartnerGone,
                          "the server went away before it answered"};
            }
            PostError(err::DdeExecuteInvalid);
            break;
        case TransactionOutcome::Negative:
            PostError(err::DdeExecuteInvalid);
            break;
    }
    const ErrorState result = CurrentError();
    transport_->ProcessPending();
    RestoreError(result);
    return result.code;
}

bool ConversationClient::Request(ChannelHandle channel, std::string_view item, std::string& text) {
    ClearError();
    Conversation* conversation = PartnerOrNotOpen(channel);
    if (!conversation || item.empty()) return false;
    RequestOutcome reply =
        conversation->link->Request(Cut(item, kConversationNameLength), timeout_hundredths_ * 10);
    if (reply.outcome == TransactionOutcome::TimedOut) PostError(err::DdeTimedOut);
    if (reply.outcome != TransactionOutcome::Positive) return false;
    // Text items end at their first zero, as text in the clipboard format does.
    if (auto zero = reply.text.find('\0'); zero != std::string::npos) reply.text.resize(zero);
    text = std::move(reply.text);
    return true;
}

ErrorCode ConversationClient::RequestItem(ChannelHandle channel, std::string_view item,
                                          std::string& variable) {
    if (channel == 0) return CurrentErrorCode();
    std::string text;
    if (Request(channel, item, text)) variable = std::move(text);
    return CurrentErrorCode();
}

ErrorCode ConversationClient::RequestItem(ChannelHandle channel, std::string_view item,
                                          std::uint16_t& variable) {
    if (channel == 0) return CurrentErrorCode();
    std::string text;
    if (Request(channel, item, text)) variable = TextToUnsignedShort(text);
    return CurrentErrorCode();
}

void ConversationClient::CloseConversation(ChannelHandle channel) {
    ClearError();
    if (channel == 0) return;
    auto it = conversations_.find(channel);
    if (it == conversations_.end()) return;
    std::unique_ptr<Conversation> conversation = std::move(it->second);
    conversations_.erase(it);
    if (conversation->partner) conversation->link->Terminate();
}

void ConversationClient::SetChannelTimeOut(std::int64_t hundredths) {
    timeout_hundredths_ = std::clamp<std::int64_t>(hundredths, 0, kMaxReplyTimeOutHundredths);
}

void ConversationClient::SetClosedHandler(std::function<void(ChannelHandle)> handler) {
    closed_handler_ = std::move(handler);
}

void ConversationClient::ProcessPending() {
    transport_->ProcessPending();
}

bool ConversationClient::IsOpen(ChannelHandle channel) const {
    auto it = conversations_.find(channel);
    return it != conversations_.end() && it->second->partner;
}

void ConversationClient::PartnerLost(ChannelHandle channel) {
    Conversation* conversation = Find(channel);
    if (!conversation || !conversation->partner) return;
    conversation->partner = false;
    if (closed_handler_) closed_handler_(channel);
}

}  // namespace zelt::runtime
