#include "controls/record_read_text.h"

#include "link/drive_link.h"
#include "res/strings.h"

namespace axtune {

std::string RecordReadFailureText(int linkError) {
  switch (linkError) {
    case kLinkBadChecksum:
      return Text(kTextWrongChecksum);
    case kLinkNoReply:
      return Text(kTextCannotReadData);
    default:
      return Text(kTextUnknownError);
  }
}

}  // namespace axtune
