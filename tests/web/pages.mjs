// Local imitations of the four web-mail clients' compose pages, and of a page on a host that is
// none of them, served over HTTPS on loopback (the browsers reach the services' host names
// through a proxy that leads here). The query chooses what the page shows:
//   from=ADDRESS     the compose window's From control shows ADDRESS ("none": no From control)
//   account=ADDRESS  the page's signed-in account element
//   reading=ADDRESS  a message being read, from ADDRESS, beside the compose window
//   reply=1          the compose body holds a quoted message
//   frame=1          the compose body is in a same-origin frame (srcdoc)

const escape = (text) => String(text).replace(/&/g, '&amp;').replace(/"/g, '&quot;').replace(/</g, '&lt;');

// The compose window of each client; `body` is the editable body's markup.
const COMPOSE = {
  Gmail: ({from, body}) => `<form role="dialog">
    ${from ? `<input name="from" type="hidden" value="${escape(from)}">` : ''}<input name="subjectbox" value="">
    ${body('aria-label="Message Body" g_editable="true"')}</form>`,
  // The From field is a button and a menu, as in Outlook on the web: choosing fires no "change".
  Outlook: ({from, body}) => `<div role="dialog">
    <button type="button" class="from-button" aria-label="From: ${escape(from)}">${escape(from)}</button>
    <div role="menu" hidden>${['ada@example.com', 'grace@example.com'].map((a) =>
      `<button type="button" role="menuitem" class="from-choice" data-address="${a}">${a}</button>`).join('')}</div>
    ${body('aria-label="Message body" role="textbox"')}</div>`,
  Yahoo: ({from, body}) => `<div role="dialog" data-test-id="compose">
    <div data-test-id="compose-from">${escape(from)}</div>${body('data-test-id="rte"')}</div>`,
  Aol: ({from, body}) => `<div role="dialog" data-test-id="compose">
    <div data-test-id="compose-from">${escape(from)}</div>${body('data-test-id="rte"')}</div>`,
};
const QUOTE = {Gmail: 'gmail_quote', Outlook: 'quoted', Yahoo: 'yahoo_quoted', Aol: 'aol_quoted'};
const ACCOUNT = {
  Gmail: (a) => `<a aria-label="Google Account: Ada (${a})" href="https://accounts.google.com/SignOutOptions">Ada</a>`,
  Outlook: (a) => `<div id="mectrl_currentAccount_secondary">${a}</div>`,
  Yahoo: (a) => `<span data-test-id="account-email">${a}</span>`,
  Aol: (a) => `<span data-test-id="account-email">${a}</span>`,
};

export const HOSTS = {
  'mail.aol.com': 'Aol',
  'mail.google.com': 'Gmail',
  'outlook.live.com': 'Outlook',
  'mail.yahoo.com': 'Yahoo',
  'mail.example.net': 'Gmail',  // looks like Gmail, but is not one of the services' hosts
};

// A page with a "New message" button that opens a compose window like the client's.
export function composePage(host, url) {
  const client = HOSTS[host];
  if (!client) return null;
  const params = new URL(url, `https://${host}`).searchParams;
  const from = params.get('from') === 'none' ? '' : (params.get('from') || 'me@example.com');
  const quote = params.get('reply') === '1' ? `<div class="${QUOTE[client]}">Earlier mail</div>` : '';
  const editor = (attributes) => `<div contenteditable="true" ${attributes}><p>Hello</p>${quote}</div>`;
  const body = params.get('frame') === '1'
    ? (attributes) => `<iframe class="editor" srcdoc="${escape(`<!doctype html><body>${editor(attributes)}</body>`)}"></iframe>`
    : editor;
  const template = JSON.stringify(COMPOSE[client]({from, body}));
  const account = params.get('account') ? ACCOUNT[client](escape(params.get('account'))) : '';
  const reading = params.get('reading')
    ? `<article class="conversation"><span email="${escape(params.get('reading'))}">Someone</span>
       <blockquote>Their message</blockquote></article>`
    : '';
  return `<!doctype html><html><head><meta charset="utf-8"><title>${client} imitation</title></head>
<body><header>${account}</header><div role="main">${reading}
<button id="new-message" type="button">New message</button><main id="composes"></main></div>
<script>
  document.getElementById('new-message').addEventListener('click', () => {
    const holder = document.createElement('section');
    holder.className = 'compose';
    holder.innerHTML = ${template};
    document.getElementById('composes').appendChild(holder);
  });
  document.addEventListener('click', (event) => {
    const button = event.target.closest('.from-button');
    if (button) button.nextElementSibling.hidden = false;
    const choice = event.target.closest('.from-choice');
    if (!choice) return;
    const from = choice.closest('[role="dialog"]').querySelector('.from-button');
    from.textContent = choice.dataset.address;
    from.setAttribute('aria-label', 'From: ' + choice.dataset.address);
    choice.parentElement.hidden = true;
  });
</script></body></html>`;
}
