// The extension's background: the only part that talks to the host, through its one connection
// (shared/host.js), for the pages and for the popup. It trusts nothing a page says that the
// browser can tell: the message must come from this extension's own content script, the client
// is the one of the sending frame's origin (a page claiming another client gets its own client's
// signatures), and the page's token must be short and plain. The host sees the background's own
// token, and the answer goes back to the frame that asked. The popup's requests come only from
// the extension's own popup page.
'use strict';

if (typeof importScripts === 'function') importScripts('shared/clients.js', 'shared/host.js');

const api = globalThis.browser || globalThis.chrome;
const TOKEN_PATTERN = /^[A-Za-z0-9_-]{1,128}$/;
const POPUP_COMMANDS = new Set(['ListSignatures', 'AddSignature', 'SaveSignature', 'RemoveSignature']);
let lastToken = 0;

function hostToken() {
  const random = new Uint32Array(2);
  crypto.getRandomValues(random);
  lastToken += 1;
  return `r${lastToken}_${random[0].toString(36)}${random[1].toString(36)}`;
}

function isFromOwnContentScript(sender) {
  return sender && sender.id === api.runtime.id && sender.tab && typeof sender.tab.id === 'number' &&
      typeof sender.frameId === 'number' && typeof sender.url === 'string';
}

function isFromPopup(sender) {
  return sender && sender.id === api.runtime.id && typeof sender.url === 'string' &&
      sender.url.startsWith(api.runtime.getURL('popup/popup.html'));
}

// The client of the frame that sent the message: its address, or for a frame without one of its
// own (about:blank, srcdoc) its origin (Chromium says it) or else its tab's address (in Firefox
// the content script runs in such a frame only when its parent's origin is a service's).
function senderClient(sender) {
  if (!sender.url.startsWith('about:')) {
    const client = quilletClientOfUrl(sender.url);
    if (!client || (sender.origin !== undefined && quilletClientOfUrl(`${sender.origin}/`) !== client)) return null;
    return client;
  }
  if (sender.origin !== undefined) return quilletClientOfUrl(`${sender.origin}/`);
  return sender.tab.url ? quilletClientOfUrl(sender.tab.url) : null;
}

function answerPage(message, sender, sendResponse) {
  const userInfo = message.userInfo;
  if (typeof userInfo !== 'object' || userInfo === null) return false;
  const token = userInfo.callbackToken;
  if (typeof token !== 'string' || !TOKEN_PATTERN.test(token)) return false;
  const client = senderClient(sender);
  if (!client) return false;

  const hostsToken = hostToken();
  QuilletHost.ask({name: 'GetSignatures', userInfo: {client, callbackToken: hostsToken}}).then(({answer}) => {
    if (!answer || answer.name !== 'message' || !answer.userInfo || answer.userInfo.callbackToken !== hostsToken ||
        !Array.isArray(answer.userInfo.signatures)) {
      sendResponse(null);
      return;
    }
    sendResponse({name: 'message', userInfo: {signatures: answer.userInfo.signatures, callbackToken: token}});
  });
  return true;  // answered later, to this sender only
}

api.runtime.onMessage.addListener((message, sender, sendResponse) => {
  if (!message || typeof message.name !== 'string') return false;
  if (message.name === 'GetSignatures') {
    return isFromOwnContentScript(sender) ? answerPage(message, sender, sendResponse) : false;
  }
  if (message.name === 'Popup' && isFromPopup(sender) && message.request &&
      POPUP_COMMANDS.has(message.request.name)) {
    const {name, userInfo} = message.request;
    QuilletHost.ask({name, userInfo}).then(sendResponse);
    return true;
  }
  return false;
});
