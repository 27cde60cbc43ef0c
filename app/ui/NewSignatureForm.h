#pragma once
// The rules of the new-signature form, without its widgets: the engagement, the chosen client
// and account, the key and its request, the file, the options, and "Install Signature" with its
// checks in their fixed order. The window (NewSignatureController) shows this state and hands
// the person's actions in; alerts go through the engine's prompter.
//
// A key request belongs to the engagement and the key that started it: only the latest request
// of the current engagement, in key mode, is applied; every other answer is dropped.

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "app/ui/NewSignatureItems.h"
#include "common/ServiceClient.h"
#include "common/SignatureId.h"

namespace quillet {

class Core;

class NewSignatureForm {
public:
    enum class KeyOrFileMode { key, file };
    enum class KeyMainTextState { keyEmpty, requesting, requestFailed, responseReceived };
    // What the key field shows at its end.
    enum class KeyAccessory { none, spinner, checkMark, cross };

    struct Callbacks {
        std::function<void()> changed;             // any shown state changed
        std::function<void(SignatureId)> created;  // the signature was created and saved
    };

    NewSignatureForm(Core& core, Callbacks callbacks);
    ~NewSignatureForm();
    NewSignatureForm(const NewSignatureForm&) = delete;
    NewSignatureForm& operator=(const NewSignatureForm&) = delete;

    void engage(std::int64_t colorIndex);
    void disengage();
    bool isEngaged() const { return _engaged; }
    std::optional<std::int64_t> engagementId() const { return _engagementIdQ; }

    // The drop-downs as they stand now.
    DropDown<ClientItem> clientDropDown() const;
    DropDown<AccountItem> accountDropDown() const;
    void chooseClientItem(int index);
    void chooseAccountItem(int index);

    // The key field: its text changed (the accessory goes), editing ended with this text (the
    // normalised key, to write back into the field, is returned).
    void keyTextChanged();
    QString keyEditingEnded(const QString& text);
    void toggleKeyOrFileMode();
    void chooseFile(const QString& path);
    void setInsertForReplies(bool on);
    void setInsertForForwards(bool on);

    // "Install Signature": the checks run on the next turn of the main queue, for this
    // engagement only. The window ends editing before it calls this.
    void install();

    const std::optional<ClientKind>& clientKind() const { return _clientKindQ; }
    const QString& accountEmail() const { return _accountEmailQe; }
    KeyOrFileMode keyOrFileMode() const { return _keyOrFileMode; }
    const QString& key() const { return _keyQe; }
    KeyMainTextState keyMainTextState() const { return _keyMainTextState; }
    KeyAccessory keyAccessory() const { return _keyAccessory; }
    const std::optional<QString>& filePath() const { return _filePathQ; }
    ClientOptions options() const;
    bool insertForReplies() const { return _insertForReplies; }
    bool insertForForwards() const { return _insertForForwards; }
    bool attemptInstallOnKeyRequestEnd() const { return _attemptInstallOnKeyRequestEnd; }

private:
    FormClients formClients() const;
    void resetChoices();
    void clientChanged(std::optional<ClientKind> client);
    void choiceChanged();  // client, account, key or mode: a pending install is off
    void startKeyRequest();
    void keyRequestEnded(const KeyFetchResult& result, std::int64_t requestTime);
    void validateAndInstall();
    void create(const QString& text, std::int64_t unixTime);
    void startDiscovery();
    void notify();

    Core& _core;
    Callbacks _callbacks;
    int _observerToken = 0;
    std::shared_ptr<bool> _alive = std::make_shared<bool>(true);

    bool _engaged = false;
    std::int64_t _lastEngagementId = 0;
    std::optional<std::int64_t> _engagementIdQ;
    std::optional<ClientKind> _clientKindQ;
    QString _accountEmailQe;
    KeyOrFileMode _keyOrFileMode = KeyOrFileMode::key;
    QString _keyQe;
    KeyMainTextState _keyMainTextState = KeyMainTextState::keyEmpty;
    KeyAccessory _keyAccessory = KeyAccessory::none;
    std::optional<QString> _keyMainTextQ;
    std::optional<std::int64_t> _keyUnixTimeQ;
    std::optional<QString> _filePathQ;
    bool _attemptInstallOnKeyRequestEnd = false;
    bool _insertForReplies = true;
    bool _insertForForwards = true;
    std::int64_t _signatureColorIndex = 0;
    std::int64_t _lastKeyRequestId = 0;  // the latest request; older answers are dropped
};

}  // namespace quillet
