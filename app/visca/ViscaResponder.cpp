#include "app/visca/ViscaResponder.h"

#include "app/visca/ViscaReplies.h"

uint64_t ViscaCounters::badTotal() const {
    uint64_t total = 0;
    for (uint64_t n : bad)
        total += n;
    return total;
}

namespace {

ViscaBytes framed(const ViscaToken& token, const ViscaBytes& message) {
    return token.datagram ? visca::replyDatagram(token.sequence, message) : message;
}

ViscaBytes answer(const ViscaRequest& r, const ViscaCameraState& state) {
    const uint16_t zoom = visca::zoomPositionOfFactor(state.zoomFactor);
    switch (r.kind) {
    case ViscaRequestKind::PowerInquiry:
        return visca::powerAnswerMessage();
    case ViscaRequestKind::VersionInquiry:
        return visca::versionAnswerMessage();
    case ViscaRequestKind::ZoomPositionInquiry:
        return visca::zoomPositionAnswerMessage(zoom);
    case ViscaRequestKind::FocusModeInquiry:
        return visca::focusModeAnswerMessage();
    case ViscaRequestKind::BlockInquiry:
        return visca::blockAnswerMessage(r.block, zoom);
    default: // the pan-tilt position: the camera has no absolute positions
        return visca::inquiryNotExecutableMessage();
    }
}

} // namespace

ViscaResponse ViscaResponder::handleDatagram(const uint8_t* data, size_t size,
                                             const ViscaCameraState& state) {
    const ViscaDecoded decoded = visca::decodeDatagram(data, size);
    // Without a readable header the error goes back with sequence number 0.
    return respond(decoded, ViscaToken{true, decoded.header.sequence}, state);
}

ViscaResponse ViscaResponder::handleStreamItem(const ViscaStreamItem& item,
                                               const ViscaCameraState& state) {
    ViscaDecoded decoded;
    if (item.overlong)
        decoded.error = ViscaError::BadLength;
    else
        decoded = visca::decodeMessage(item.message.data(), item.message.size());
    return respond(decoded, ViscaToken{false, 0}, state);
}

ViscaBytes ViscaResponder::completion(const ViscaToken& token) {
    return framed(token, visca::completionMessage());
}

ViscaBytes ViscaResponder::notExecutable(const ViscaToken& token) {
    return framed(token, visca::notExecutableMessage());
}

ViscaResponse ViscaResponder::respond(const ViscaDecoded& decoded, const ViscaToken& token,
                                      const ViscaCameraState& state) {
    ++counters_.messages;
    ViscaResponse out;
    if (decoded.error == ViscaError::Unknown) {
        ++counters_.unknown;
        out.replies.push_back(framed(token, visca::syntaxErrorMessage()));
        return out;
    }
    if (!decoded.ok()) {
        ++counters_.bad[static_cast<size_t>(decoded.error)];
        // A reply sent to us is never answered: two cameras would answer
        // each other's errors for ever.
        if (decoded.error != ViscaError::NotARequest)
            out.replies.push_back(framed(token, visca::syntaxErrorMessage()));
        return out;
    }
    const ViscaRequest& r = decoded.request;
    if (r.kind == ViscaRequestKind::ResetSequence) {
        out.replies.push_back(visca::resetReplyDatagram(token.sequence));
        return out;
    }
    if (r.isInquiry()) {
        out.replies.push_back(framed(token, answer(r, state)));
        return out;
    }
    const bool refused = !state.linked || r.kind == ViscaRequestKind::Memory ||
                         (r.kind == ViscaRequestKind::Tracking && !state.trackingAllowed);
    if (refused) {
        out.replies.push_back(notExecutable(token));
        return out;
    }
    out.replies.push_back(framed(token, visca::ackMessage()));
    out.operation = ViscaOperation{r, token};
    return out;
}
