#pragma once
// What the toolbar popup asks of the host: the list of signatures, the new-signature form's
// install (by key or from a file), saving a signature's name, colour and option, and removing
// one. The form's rules live here, in the order the form checks them, with its messages; the
// popup only shows what comes back.
//
// Requests and answers ({"name", "userInfo"}):
// Every answer but "Refused" carries the signatures (each with its "html" for the preview) and
// the brand's "feedbackURL" and "helpURL".
//   "ListSignatures" -> "Signatures" {"signatures": [...]}, and a refresh from the service
//   "AddSignature" {"client": null | "All" | stored text, "account", "insertForRepliesForwards",
//                   "mode": "key" | "file", "key", "fileName", "fileBase64"}
//       -> "Added" {"id", "signatures"} or "Refused" {"message"}
//   "SaveSignature" {"id", "name", "colorIndex", "insertForRepliesForwards"}
//       -> "Saved" {"signatures"} or "Refused" {"message"}
//   "RemoveSignature" {"id"} -> "Removed" {"signatures"} or "Refused" {"message"}

#include <QString>
#include <functional>
#include <nlohmann/json.hpp>

#include "extension/native/WebCore.h"

namespace quillet::web {

using Reply = std::function<void(const nlohmann::json& answer)>;

// Whether the name is one of the popup's requests.
bool IsPopupCommand(const QString& name);
// Answers once through reply: at once, or after the key fetch for an install by key.
void RunPopupCommand(Core& core, const QString& name, const nlohmann::json& userInfo, Reply reply);

// A non-empty account must be an email address as a whole.
bool IsValidAccountEmail(const QString& text);

}  // namespace quillet::web
