// What became of a request on the drive link, for callers that must tell a write the drive
// refused from one whose answer got lost. The record-127 channel ties each answer to its request
// by order (see link/README.md, "Late answers"): after a request that went unanswered, the next
// object request goes out only once the drive has answered a read of another record, so an answer
// owed to an earlier request never counts for a later one.
#pragma once

#include <cstdint>

namespace axtune {

// What became of the last transfer's request.
enum class TransferFate {
  NotSent,     // it failed before sending: a closed link, or (for an object read) an earlier object
               // request was still owed its answer and the read that checks the line got none
  Unanswered,  // it went out and no whole answer came, or none was waited for because the check of
               // the line got no answer: a write may or may not have been taken
  Answered,    // the drive's whole answer came (its frame or its error reply), good or not
};
TransferFate LastTransferFate();

// What became of an object write.
enum class ObjectWriteOutcome {
  Written,       // the drive answered in full and did not refuse (what it holds: read it back)
  Refused,       // the drive answered with an abort for this object: the value was not taken
                 // (LastObjectAbortCode() has its code)
  Rejected,      // the drive answered the request with an error reply (LinkError says which)
  NotSent,       // nothing went out (see TransferFate::NotSent)
  NotConfirmed,  // the request went out but no whole, undamaged answer came: the drive may or may
                 // not have taken the value; only a read-back tells
};
// WriteObject with the reason when it is not Written.
ObjectWriteOutcome WriteObjectChecked(uint16_t index, uint8_t subindex, int size, int32_t value);

}  // namespace axtune
