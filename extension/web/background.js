// The extension's background: the only part that talks to the host for pages. It trusts nothing
// a page says that the browser can tell: the message must come from this extension's own content
// script, the client is the one of the sending frame's address (a page claiming another client
// gets its own host's signatures), and the page's token must be short and plain. The host sees
// the background's own request id, and the answer goes back to the frame that asked.
'use strict';

if (typeof importScripts === 'function') importScripts('shared/clients.js', 'shared/host.js');

const TOKEN_PATTERN = /^[A-Za-z0-9_-]{1,128}$/;
let lastRequestId = 0;

function requestId() {
  const random = new Uint32Array(2);
  crypto.getRandomValues(random);
  lastRequestId += 1;
  return `r${lastRequestId}_${random[0].toString(36)}${random[1].toString(36)}`;
}

function isFromOwnContentScript(sender) {
  return sender && sender.id === chrome.runtime.id && sender.tab && typeof sender.tab.id === 'number' &&
      typeof sender.frameId === 'number' && typeof sender.url === 'string';
}

chrome.runtime.onMessage.addListener((message, sender, sendResponse) => {
  if (!isFromOwnContentScript(sender)) return false;
  if (!message || message.name !== 'GetSignatures' || typeof message.userInfo !== 'object' ||
      message.userInfo === null) {
    return false;
  }
  const token = message.userInfo.callbackToken;
  if (typeof token !== 'string' || !TOKEN_PATTERN.test(token)) return false;
  const client = quilletClientOfUrl(sender.url);
  if (!client) return false;
  if (sender.origin !== undefined && quilletClientOfUrl(sender.origin + '/') !== client) return false;

  const id = requestId();
  quilletAskHost({name: 'GetSignatures', userInfo: {client, callbackToken: id}}).then((answer) => {
    if (!answer || answer.name !== 'message' || !answer.userInfo ||
        answer.userInfo.callbackToken !== id || !Array.isArray(answer.userInfo.signatures)) {
      sendResponse(null);
      return;
    }
    sendResponse({name: 'message', userInfo: {signatures: answer.userInfo.signatures, callbackToken: token}});
  });
  return true;  // answered later, to this sender only
});
