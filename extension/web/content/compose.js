// Putting a signature into a compose area: which of the client's signatures fits the sender and
// the kind of message, and the cleaning that every HTML text goes through before it touches the
// page. Signatures come from the user's service or files, but the page is someone's mailbox:
// the HTML is cleaned against an allowlist and inserted as an inert parsed fragment, never as
// markup the page would parse and run.
'use strict';

var QuilletCompose = (function () {
  const SIGNATURE_CLASS = 'quillet-signature';

  // Nothing that runs or reaches outside the signature: no scripts, frames, objects, forms,
  // base or meta, no style sheets for the whole page, no event handlers, no script URLs (the
  // sanitiser drops "on…" attributes and "javascript:" URLs itself).
  const SANITIZE_OPTIONS = Object.freeze({
    FORBID_TAGS: ['script', 'iframe', 'frame', 'frameset', 'object', 'embed', 'applet', 'form', 'input',
      'button', 'select', 'option', 'textarea', 'base', 'meta', 'link', 'style', 'template', 'portal'],
    FORBID_ATTR: ['srcdoc', 'formaction', 'action', 'ping'],
    ALLOW_UNKNOWN_PROTOCOLS: false,
  });

  // The cleaned signature as a fragment of the page's document. The sanitiser's own nodes never
  // reach the page: in a content script's world, an element parsed with an "on…" attribute keeps
  // its handler after the sanitiser removes the attribute, and would run it once in the page.
  // Only the cleaned text is parsed again, inertly, in a template.
  function clean(html) {
    const template = document.createElement('template');
    template.innerHTML = cleanText(html);
    return document.importNode(template.content, true);
  }

  // The cleaned signature as HTML text.
  function cleanText(html) {
    return DOMPurify.sanitize(String(html), SANITIZE_OPTIONS);
  }

  // The signature for this sender and kind of message: one for the sender's address first (letter
  // case aside), else one for every account; for a reply or forward only one that allows it.
  function choose(signatures, senderAddress, replyOrForward) {
    const sender = (senderAddress || '').trim().toLowerCase();
    const fits = signatures.filter((s) => s && typeof s.html === 'string' &&
        (!replyOrForward || s.insertForRepliesForwards === true));
    const own = fits.find((s) => s.account && sender && s.account.toLowerCase() === sender);
    if (own) return own;
    return fits.find((s) => !s.account) || null;
  }

  // The quoted message in the compose area: the first element that a selector finds outside
  // Quillet's own box (a signature may hold a blockquote of its own), or null.
  function findQuote(composeArea, quoteSelectors) {
    for (const selector of quoteSelectors) {
      for (const element of composeArea.querySelectorAll(selector)) {
        if (!element.closest(`.${SIGNATURE_CLASS}`)) return element;
      }
    }
    return null;
  }

  // Puts the signature into the compose area, in place of one put there before, and before the
  // quoted message when there is one. Returns the inserted element, or null.
  function insert(composeArea, signature, quoteSelectors) {
    const previous = composeArea.querySelector(`:scope .${SIGNATURE_CLASS}`);
    if (previous) previous.remove();
    if (!signature) return null;
    const box = composeArea.ownerDocument.createElement('div');
    box.className = SIGNATURE_CLASS;
    box.appendChild(composeArea.ownerDocument.createElement('br'));
    box.appendChild(clean(signature.html));
    const quote = findQuote(composeArea, quoteSelectors);
    if (quote && quote.parentNode) {
      quote.parentNode.insertBefore(box, quote);
    } else {
      composeArea.appendChild(box);
    }
    return box;
  }

  return Object.freeze({clean, cleanText, choose, findQuote, insert, SIGNATURE_CLASS});
})();
