// The page script of the four web-mail clients: it watches for compose areas, asks the
// extension for the signatures of this page's client each time one opens, and inserts the one
// that fits the sender's address and the kind of message.
'use strict';

(function () {
  const client = quilletClientOfUrl(location.href);
  if (!client) return;

  // Where each client keeps its compose area, its sender's address and the quoted message of
  // a reply or forward.
  const ADAPTERS = {
    Gmail: {
      compose: 'div[contenteditable="true"][aria-label="Message Body"], div[contenteditable="true"][g_editable="true"]',
      sender: ['input[name="from"]', '[data-quillet-from]', 'span[email]'],
      quote: '.gmail_quote, blockquote',
    },
    Outlook: {
      compose: 'div[contenteditable="true"][aria-label="Message body"], div[contenteditable="true"][role="textbox"]',
      sender: ['[aria-label="From"]', 'button[aria-label^="From"]', '[data-quillet-from]'],
      quote: '#divRplyFwdMsg, #appendonsend, blockquote',
    },
    Yahoo: {
      compose: 'div[contenteditable="true"][data-test-id="rte"], div[contenteditable="true"][role="textbox"]',
      sender: ['[data-test-id="compose-from"]', '[data-quillet-from]'],
      quote: '.yahoo_quoted, blockquote',
    },
    Aol: {
      compose: 'div[contenteditable="true"][data-test-id="rte"], div[contenteditable="true"][role="textbox"]',
      sender: ['[data-test-id="compose-from"]', '[data-quillet-from]'],
      quote: '.aol_quoted, .yahoo_quoted, blockquote',
    },
  };
  const adapter = ADAPTERS[client];
  const EMAIL = /[A-Za-z0-9._%+-]+@[A-Za-z0-9.-]+\.[A-Za-z]{2,64}/;
  const REPLY_SUBJECT = /^\s*(re|fw|fwd|aw|wg|tr|rv)\s*:/i;

  // The sender's address as the page shows it, near the compose area first.
  function senderAddress(composeArea) {
    const scope = composeArea.closest('form, [role="dialog"], [role="main"]') || document;
    for (const root of [scope, document]) {
      for (const selector of adapter.sender) {
        const element = root.querySelector(selector);
        if (!element) continue;
        const text = [element.value, element.getAttribute('email'), element.getAttribute('data-quillet-from'),
          element.textContent].filter((t) => typeof t === 'string').join(' ');
        const found = text.match(EMAIL);
        if (found) return found[0];
      }
    }
    return '';
  }

  function isReplyOrForward(composeArea) {
    if (adapter.quote && composeArea.querySelector(adapter.quote)) return true;
    const scope = composeArea.closest('form, [role="dialog"], [role="main"]') || document;
    const subject = scope.querySelector('input[name="subjectbox"], input[name="subject"], input[aria-label="Subject"]');
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
      answer = await chrome.runtime.sendMessage({name: 'GetSignatures', userInfo: {client, callbackToken: token}});
    } catch (e) {
      return null;
    }
    if (!answer || answer.name !== 'message' || !answer.userInfo || answer.userInfo.callbackToken !== token ||
        !Array.isArray(answer.userInfo.signatures)) {
      return null;
    }
    return answer.userInfo.signatures;
  }

  const handled = new WeakSet();

  async function signCompose(composeArea) {
    const signatures = await askForSignatures();
    if (!signatures || !composeArea.isConnected) return;
    const signature = QuilletCompose.choose(signatures, senderAddress(composeArea), isReplyOrForward(composeArea));
    if (QuilletCompose.insert(composeArea, signature, adapter.quote)) {
      composeArea.dispatchEvent(new Event('input', {bubbles: true}));
    }
  }

  function scan() {
    for (const composeArea of document.querySelectorAll(adapter.compose)) {
      if (handled.has(composeArea)) continue;
      handled.add(composeArea);
      signCompose(composeArea);
    }
  }

  // A different sender chosen in an open compose area gets that sender's signature.
  document.addEventListener('change', (event) => {
    if (!adapter.sender.some((selector) => event.target.matches && event.target.matches(selector))) return;
    for (const composeArea of document.querySelectorAll(adapter.compose)) signCompose(composeArea);
  }, true);

  new MutationObserver(scan).observe(document.documentElement, {childList: true, subtree: true});
  scan();
})();
