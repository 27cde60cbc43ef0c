// What the content script relies on in each web-mail service's page: one table per service, each
// row a list of CSS selectors tried in order (the first element found wins). When a service
// changes its page, this file is the one to update; README.md says what each row is for and what
// happens when nothing matches it.
//
//   composeArea    the editable body of a message: where the signature goes. Nothing matches:
//                  nothing is inserted.
//   composeWindow  the element around one message being written (a dialog, an inline reply),
//                  searched upwards from the body. Nothing matches: the sender is the signed-in
//                  account, and a sender chosen later is not noticed.
//   sender         inside the compose window only: the From control holding the sender's address
//                  (as its value, its "email" attribute or its text). Nothing matches: the
//                  signed-in account.
//   account        anywhere in the page: the signed-in account's address (as its text, its
//                  "email" attribute or its label). Nothing matches: the sender is unknown and the
//                  signature for every account is used.
//   subject        inside the compose window: the subject field, whose "Re:" or "Fwd:" makes a
//                  reply or forward.
//   quote          inside the body: the quoted message of a reply or forward; the signature goes
//                  before it. Nothing matches: the message counts as new (unless its subject
//                  says otherwise) and the signature goes at the end of the body.
'use strict';

var QuilletServices = Object.freeze({
  Gmail: Object.freeze({
    composeArea: ['div[contenteditable="true"][aria-label="Message Body"]', 'div[contenteditable="true"][g_editable="true"]'],
    composeWindow: ['[role="dialog"]', 'form', 'div.M9'],
    sender: ['input[name="from"]', 'select[name="from"]', '.az2 span[email]'],
    account: ['a[aria-label^="Google Account:"]', 'a[href^="https://accounts.google.com/SignOutOptions"]'],
    subject: ['input[name="subjectbox"]'],
    quote: ['.gmail_quote', 'blockquote'],
  }),
  Outlook: Object.freeze({
    composeArea: ['div[contenteditable="true"][aria-label="Message body"]', 'div[contenteditable="true"][role="textbox"]'],
    composeWindow: ['[role="dialog"]', '[role="main"] [data-app-section="Form_Content"]'],
    sender: ['button[aria-label^="From"]', '[aria-label="From"]'],
    account: ['#mectrl_currentAccount_secondary'],
    subject: ['input[aria-label="Subject"]', 'input[aria-label="Add a subject"]'],
    quote: ['#divRplyFwdMsg', '#appendonsend', 'blockquote'],
  }),
  Yahoo: Object.freeze({
    composeArea: ['div[contenteditable="true"][data-test-id="rte"]', 'div[contenteditable="true"][role="textbox"]'],
    composeWindow: ['[data-test-id="compose"]', '[role="dialog"]'],
    sender: ['[data-test-id="compose-from"]', 'select[data-test-id="from-select"]'],
    account: ['[data-test-id="account-email"]'],
    subject: ['input[data-test-id="compose-subject"]', 'input[name="subject"]'],
    quote: ['.yahoo_quoted', 'blockquote'],
  }),
  Aol: Object.freeze({
    composeArea: ['div[contenteditable="true"][data-test-id="rte"]', 'div[contenteditable="true"][role="textbox"]'],
    composeWindow: ['[data-test-id="compose"]', '[role="dialog"]'],
    sender: ['[data-test-id="compose-from"]', 'select[data-test-id="from-select"]'],
    account: ['[data-test-id="account-email"]'],
    subject: ['input[data-test-id="compose-subject"]', 'input[name="subject"]'],
    quote: ['.aol_quoted', '.yahoo_quoted', 'blockquote'],
  }),
});
