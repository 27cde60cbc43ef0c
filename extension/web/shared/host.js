// Talking to the native host: the background holds one connection for the whole browser (one
// host process, however many compose areas and popups ask), opened at the first request and again
// after the host or the browser ended it. Every request carries its own "requestId", which the
// host puts on its answer, so that answers may come back in any order. A long answer comes as
// "chunk" messages, written one after the other, joined here. "Finished" only says the host is
// idle; the connection stays.
'use strict';

var QuilletHost = (function () {
  const HOST_NAME = 'app.quillet.webmail';
  const TIMEOUT_MS = 60000;
  const api = globalThis.browser || globalThis.chrome;
  // What the browsers say when no host manifest names the host.
  const NOT_INSTALLED = /not found|no such native application/i;

  let port = null;
  let lastRequestId = 0;
  const pending = new Map();  // requestId -> {resolve, timer}
  let chunks = [];

  function settle(requestId, result) {
    const request = pending.get(requestId);
    if (!request) return;
    pending.delete(requestId);
    clearTimeout(request.timer);
    request.resolve(result);
  }

  function received(message) {
    if (!message || typeof message.name !== 'string') return;
    if (message.name === 'chunk') {
      const info = message.userInfo || {};
      chunks[info.index] = info.data;
      if (chunks.filter((c) => typeof c === 'string').length !== info.count) return;
      const text = chunks.join('');
      chunks = [];
      try {
        received(JSON.parse(text));
      } catch (e) { /* a broken answer: its request times out */ }
      return;
    }
    if (message.name === 'Finished' || !('requestId' in message)) return;
    const {requestId, ...answer} = message;
    settle(requestId, {answer});
  }

  function connect() {
    const connected = api.runtime.connectNative(HOST_NAME);
    connected.onMessage.addListener(received);
    connected.onDisconnect.addListener((closed) => {
      // Firefox puts the reason on the port, Chromium in runtime.lastError (read it, or it is
      // reported as unchecked).
      const error = (closed && closed.error) || api.runtime.lastError;
      const failure = error && NOT_INSTALLED.test(String(error.message || error)) ? 'notInstalled' : 'unreachable';
      if (port === connected) port = null;
      chunks = [];
      for (const requestId of [...pending.keys()]) settle(requestId, {failure});
    });
    return connected;
  }

  // Resolves with {answer: {name, userInfo}} or {failure: 'notInstalled' | 'unreachable'}.
  function ask(request) {
    return new Promise((resolve) => {
      const requestId = ++lastRequestId;
      const timer = setTimeout(() => settle(requestId, {failure: 'unreachable'}), TIMEOUT_MS);
      pending.set(requestId, {resolve, timer});
      try {
        if (!port) port = connect();
        port.postMessage({...request, requestId});
      } catch (e) {
        port = null;
        settle(requestId, {failure: 'unreachable'});
      }
    });
  }

  return Object.freeze({ask});
})();
