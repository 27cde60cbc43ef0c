// The four web-mail clients: the stored text of each, its display name, and the exact hosts its
// pages are served from. Only these hosts count; "mail.google.com.example" is no client.
'use strict';

var QuilletClients = Object.freeze([
  Object.freeze({client: 'Aol', name: 'AOL Mail', hosts: ['mail.aol.com']}),
  Object.freeze({client: 'Gmail', name: 'Gmail', hosts: ['mail.google.com']}),
  Object.freeze({
    client: 'Outlook',
    name: 'Outlook for Web',
    hosts: ['outlook.live.com', 'outlook.office.com', 'outlook.office365.com'],
  }),
  Object.freeze({client: 'Yahoo', name: 'Yahoo Mail', hosts: ['mail.yahoo.com']}),
]);

// The stored text of the client whose page this address is, or null.
function quilletClientOfUrl(url) {
  let parsed;
  try {
    parsed = new URL(url);
  } catch (e) {
    return null;
  }
  if (parsed.protocol !== 'https:') return null;
  const found = QuilletClients.find((c) => c.hosts.includes(parsed.hostname));
  return found ? found.client : null;
}
