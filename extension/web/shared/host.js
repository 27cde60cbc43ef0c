// Talking to the native host: one connection per request (the browser starts a host process for
// it). The answer may come in "chunk" messages, joined here; the connection stays open until the
// host says "Finished", so that the refresh it started is not cut short.
'use strict';

var QUILLET_HOST_NAME = 'app.quillet.webmail';
var QUILLET_HOST_TIMEOUT_MS = 60000;

// Resolves with the host's answer ({name, userInfo}), or null when it gave none.
function quilletAskHost(request) {
  return new Promise((resolve) => {
    let answered = false;
    let port;
    const chunks = [];
    const answer = (message) => {
      if (answered) return;
      answered = true;
      resolve(message);
    };
    const timer = setTimeout(() => {
      answer(null);
      try { port.disconnect(); } catch (e) { /* already closed */ }
    }, QUILLET_HOST_TIMEOUT_MS);
    try {
      port = chrome.runtime.connectNative(QUILLET_HOST_NAME);
    } catch (e) {
      clearTimeout(timer);
      answer(null);
      return;
    }
    port.onMessage.addListener((message) => {
      if (!message || typeof message.name !== 'string') return;
      if (message.name === 'Finished') {
        clearTimeout(timer);
        port.disconnect();
        answer(null);
        return;
      }
      if (message.name === 'chunk') {
        const info = message.userInfo || {};
        chunks[info.index] = info.data;
        if (chunks.filter((c) => typeof c === 'string').length === info.count) {
          try {
            answer(JSON.parse(chunks.join('')));
          } catch (e) {
            answer(null);
          }
        }
        return;
      }
      answer(message);
    });
    port.onDisconnect.addListener(() => {
      clearTimeout(timer);
      void chrome.runtime.lastError;  // read, so that it is not reported as unchecked
      answer(null);
    });
    port.postMessage(request);
  });
}
