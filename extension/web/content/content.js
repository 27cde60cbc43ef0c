// The page script of the four web-mail clients, in the page and in its same-origin frames (where
// services put their editors): it watches for compose areas in its own document, asks the
// extension for the signatures of this page's client each time one opens, and inserts the one
// that fits the sender's address and the kind of message. A sender chosen later, however the page
// shows it (a menu fires no "change"), replaces the signature.
'use strict';

(function () {
  const api = globalThis.browser || globalThis.chrome;
  // A frame without an address of its own (about:blank, srcdoc) has its parent's origin.
  const client = quilletClientOfUrl(location.protocol === 'about:' ? `${self.origin}/` : location.href);
  if (!client) return;

  const service = QuilletServices[client];
  const EMAIL = /[A-Za-z0-9._%+-]+@[A-Za-z0-9.-]+\.[A-Za-z]{2,64}/;
  const REPLY_SUBJECT = /^\s*(re|fw|fwd|aw|wg|tr|rv)\s*:/i;

  function first(root, selectors) {
    for (const selector of selectors) {
      const element = root.querySelector(selector);
      if (element) return element;
    }
    return null;
  }

  function addressIn(element) {
    if (!element) return '';
    const text = [element.value, element.getAttribute('email'), element.getAttribute('aria-label'),
      element.textContent].filter((t) => typeof t === 'string').join(' ');
    const found = text.match(EMAIL);
    return found ? found[0] : '';
  }

  // The element around the message being written: above the body in its own document, else
  // above the frame that holds the body (a same-origin frame's parent can be read).
  function composeWindowOf(composeArea) {
    const closest = (element) => {
      for (const selector of service.composeWindow) {
        const found = element.closest(selector);
        if (found) return found;
      }
      return null;
    };
    const own = closest(composeArea);
    if (own) return own;
    let frame = null;
    try {
      frame = composeArea.ownerDocument.defaultView.frameElement;
    } catch (e) {
      return null;  // a parent of another origin
    }
    return frame ? closest(frame) : null;
  }

  function signedInAccount() {
    for (const root of [document, window.top === window ? null : parentDocument()]) {
      const address = root ? addressIn(first(root, service.account)) : '';
      if (address) return address;
    }
    return '';
  }

  function parentDocument() {
    try {
      return window.top.document;
    } catch (e) {
      return null;
    }
  }

  // The sender: the compose window's own From control, else the signed-in account, else unknown
  // (''). Never an address elsewhere in the page: that is someone else's, in a message being read.
  function senderAddress(composeWindow) {
    return (composeWindow && addressIn(first(composeWindow, service.sender))) || signedInAccount();
  }

  function isReplyOrForward(composeArea, composeWindow) {
    if (QuilletCompose.findQuote(composeArea, service.quote)) return true;
    const subject = composeWindow ? first(composeWindow, service.subject) : null;
    return !!(subject && REPLY_SUBJECT.test(subject.value));
  }

  function newToken() {
    const bytes = new Uint8Array(12);
    crypto.getRandomValues(bytes);
    return Array.from(bytes, (b) => b.toString(16).padStart(2, '0')).join('');
  }

  async function askForSignatures() {
    const token = newToken();
    let answer;
    try {
      answer = await api.runtime.sendMessage({name: 'GetSignatures', userInfo: {client, callbackToken: token}});
    } catch (e) {
      return null;
    }
    if (!answer || answer.name !== 'message' || !answer.userInfo || answer.userInfo.callbackToken !== token ||
        !Array.isArray(answer.userInfo.signatures)) {
      return null;
    }
    return answer.userInfo.signatures;
  }

  // One compose area: signed when it opens and again whenever its sender changes. Only the
  // latest request's answer is inserted.
  function watchCompose(composeArea) {
    const composeWindow = composeWindowOf(composeArea);
    let signedSender = null;
    let requests = 0;

    async function sign() {
      const request = ++requests;
      const sender = senderAddress(composeWindow);
      signedSender = sender;
      const signatures = await askForSignatures();
      if (!signatures || request !== requests || !composeArea.isConnected) return;
      const signature = QuilletCompose.choose(signatures, sender, isReplyOrForward(composeArea, composeWindow));
      QuilletCompose.insert(composeArea, signature, service.quote);
      composeArea.dispatchEvent(new Event('input', {bubbles: true}));
    }

    function senderMayHaveChanged() {
      if (composeArea.isConnected && senderAddress(composeWindow) !== signedSender) sign();
    }

    if (composeWindow) {
      // A menu, a button's text, an attribute, a form control: whatever the page changes.
      new MutationObserver(senderMayHaveChanged).observe(composeWindow,
          {subtree: true, childList: true, characterData: true, attributes: true});
      composeWindow.addEventListener('change', senderMayHaveChanged, true);
      composeWindow.addEventListener('input', senderMayHaveChanged, true);
    }
    sign();
  }

  const watched = new WeakSet();

  function scan() {
    for (const selector of service.composeArea) {
      for (const composeArea of document.querySelectorAll(selector)) {
        if (watched.has(composeArea)) continue;
        watched.add(composeArea);
        watchCompose(composeArea);
      }
    }
  }

  new MutationObserver(scan).observe(document.documentElement, {childList: true, subtree: true});
  scan();
})();
