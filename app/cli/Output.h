#pragma once
// What the quillet command prints: JSON documents with the engine's field names (without their
// suffixes) and the plain-text forms.

#include <QString>
#include <nlohmann/json.hpp>

#include "app/clients/ClientInfo.h"
#include "common/Accounts.h"
#include "common/Signature.h"

namespace quillet {

// `managed`: the organisation manages the signature (device management).
nlohmann::json SignatureJson(SignatureId id, const Signature& signature, bool managed = false);
nlohmann::json AccountJson(const Account& account);
nlohmann::json ClientJson(ClientKind kind, const ClientInfo& info);

// One line: id, name, key or file, active, selected and performed installations.
QString SignatureLine(SignatureId id, const Signature& signature, bool managed = false);
// Every field, one a line.
QString SignatureDetails(SignatureId id, const Signature& signature, bool managed = false);

void PrintJson(const nlohmann::json& document);
void PrintText(const QString& text);  // adds a newline

}  // namespace quillet
