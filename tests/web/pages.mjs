// Local imitations of the four web-mail clients' compose pages, and of a page on a host that is
// none of them, served over HTTPS on loopback (the browser maps the services' host names here).

const COMPOSE = {
  Gmail: (from, quoted) => `
    <form role="dialog"><input name="from" value="${from}"><input name="subjectbox" value="${quoted ? 'Re: Hello' : ''}">
    <div contenteditable="true" aria-label="Message Body" g_editable="true"><p>Hello</p>${quoted ? '<div class="gmail_quote">Earlier mail</div>' : ''}</div></form>`,
  Outlook: (from, quoted) => `
    <div role="dialog"><button aria-label="From">${from}</button>
    <div contenteditable="true" aria-label="Message body" role="textbox"><p>Hello</p>${quoted ? '<div id="divRplyFwdMsg">Earlier mail</div>' : ''}</div></div>`,
  Yahoo: (from, quoted) => `
    <div role="dialog"><div data-test-id="compose-from">${from}</div>
    <div contenteditable="true" data-test-id="rte"><p>Hello</p>${quoted ? '<div class="yahoo_quoted">Earlier mail</div>' : ''}</div></div>`,
  Aol: (from, quoted) => `
    <div role="dialog"><div data-test-id="compose-from">${from}</div>
    <div contenteditable="true" data-test-id="rte"><p>Hello</p>${quoted ? '<div class="aol_quoted">Earlier mail</div>' : ''}</div></div>`,
};

export const HOSTS = {
  'mail.aol.com': 'Aol',
  'mail.google.com': 'Gmail',
  'outlook.live.com': 'Outlook',
  'mail.yahoo.com': 'Yahoo',
  'mail.example.net': 'Gmail',  // looks like Gmail, but is not one of the services' hosts
};

// A page with a "New message" button that opens a compose area like the client's.
export function composePage(host, url) {
  const client = HOSTS[host];
  if (!client) return null;
  const params = new URL(url, `https://${host}`).searchParams;
  const from = params.get('from') || 'me@example.com';
  const quoted = params.get('reply') === '1';
  const template = JSON.stringify(COMPOSE[client](from, quoted));
  return `<!doctype html><html><head><meta charset="utf-8"><title>${client} imitation</title></head>
<body><button id="new-message" type="button">New message</button><main id="composes"></main>
<script>
  document.getElementById('new-message').addEventListener('click', () => {
    const holder = document.createElement('section');
    holder.className = 'compose';
    holder.innerHTML = ${template};
    document.getElementById('composes').appendChild(holder);
  });
</script></body></html>`;
}
