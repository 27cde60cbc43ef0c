// The toolbar popup: the extension's signatures down the side, and the panel for the selected
// one (with its colour and a preview), the new-signature form, or the intro when there is none.
// Every rule (what the form accepts, its messages, the new signature's fields) runs in the host,
// reached through the background's one connection; this only shows and asks.
'use strict';

const api = globalThis.browser || globalThis.chrome;

const PALETTE = ['#EFA3BA', '#ECA3E1', '#9EB0EB', '#A0E5EB', '#A7E3C8', '#CBE8B7', '#F4F2B2', '#FCCCB1', '#FBA7A7',
  '#D8D8D8', '#A9A9A9', '#757575', '#748CD7'];

const $ = (id) => document.getElementById(id);

const view = {
  signatures: [],
  state: 'intro',          // 'intro', 'newSignature', 'existingSignature'
  selectedIndex: null,
  lastSelectedIndex: null,
  pending: null,           // {symbol, colorIndex} while a signature is being added
  mode: 'key',
  busy: false,
  editingColor: false,
  previewing: false,
  remotePictures: false,
};

function paletteColor(index) {
  return PALETTE[((index % PALETTE.length) + PALETTE.length) % PALETTE.length];
}

function showHostError(text, notInstalled = false) {
  $('host-error-text').textContent = text;
  $('host-install').hidden = !notInstalled;
  $('host-error').hidden = !text;
}

function showLinks(userInfo) {
  for (const [id, key] of [['feedback', 'feedbackURL'], ['help', 'helpURL']]) {
    if (typeof userInfo[key] !== 'string' || !/^(https?|mailto):/.test(userInfo[key])) continue;
    $(id).href = userInfo[key];
    $(id).hidden = false;
  }
}

async function ask(name, userInfo = {}) {
  let result;
  try {
    result = await api.runtime.sendMessage({name: 'Popup', request: {name, userInfo}});
  } catch (e) {
    result = null;
  }
  if (!result || !result.answer) {
    if (result && result.failure === 'notInstalled') {
      showHostError('The Quillet web-mail host is not installed.', true);
    } else {
      showHostError('Could not reach the Quillet web-mail host. Please try again.');
    }
    return null;
  }
  const answer = result.answer;
  showHostError('');
  if (answer.userInfo && Array.isArray(answer.userInfo.signatures)) {
    view.signatures = answer.userInfo.signatures;
    showLinks(answer.userInfo);
  }
  return answer;
}

function resetSelection(preferLast) {
  const count = view.signatures.length;
  if (preferLast && view.lastSelectedIndex !== null && view.lastSelectedIndex < count) {
    view.state = 'existingSignature';
    view.selectedIndex = view.lastSelectedIndex;
  } else if (count > 0) {
    view.state = 'existingSignature';
    view.selectedIndex = 0;
    view.lastSelectedIndex = 0;
  } else {
    view.state = 'intro';
    view.selectedIndex = null;
    view.lastSelectedIndex = null;
  }
  view.pending = null;
}

function signatureButton(symbol, colorIndex, status, selected, index) {
  const button = document.createElement('button');
  button.type = 'button';
  button.className = 'signature-button' + (status === 'pending' ? ' pending' : '');
  button.style.background = paletteColor(colorIndex);
  button.textContent = symbol;
  button.setAttribute('aria-pressed', String(selected));
  button.disabled = view.state === 'newSignature';
  const dot = document.createElement('span');
  dot.className = `dot ${status}`;
  button.appendChild(dot);
  if (index !== null) button.addEventListener('click', () => select(index));
  const item = document.createElement('li');
  item.appendChild(button);
  return item;
}

function renderList() {
  const list = $('signature-list');
  list.replaceChildren();
  view.signatures.forEach((s, i) => {
    const name = s.name || '';
    list.appendChild(signatureButton(Array.from(name)[0] || '', s.colorIndex, s.active ? 'active' : 'disabled',
        view.state === 'existingSignature' && i === view.selectedIndex, i));
    list.lastChild.firstChild.title = name;
  });
  if (view.pending) list.appendChild(signatureButton(view.pending.symbol, view.pending.colorIndex, 'pending', true, null));
  $('add').disabled = view.state === 'newSignature';
  $('add').classList.toggle('pulsating', view.state === 'intro');
}

function renderExisting() {
  const s = view.signatures[view.selectedIndex];
  $('existing-name').value = s.name;
  $('existing-client').textContent = s.clientName;
  $('existing-account').textContent = s.account || 'All accounts';
  $('existing-source-label').textContent = s.key ? 'Signature key' : 'HTML file';
  $('existing-source').textContent = s.key || s.fileName;
  $('existing-replies').checked = s.insertForRepliesForwards;
  $('existing-status').textContent = s.active ? 'Active' : 'Disabled by your organisation';
  renderColors(s);
}

function renderColors(s) {
  const colors = $('colors');
  colors.hidden = !view.editingColor;
  $('edit-color').setAttribute('aria-expanded', String(view.editingColor));
  colors.replaceChildren(...PALETTE.map((color, index) => {
    const button = document.createElement('button');
    button.type = 'button';
    button.className = 'color';
    button.style.background = color;
    button.setAttribute('aria-label', `Colour ${index + 1}`);
    button.setAttribute('aria-pressed', String(index === ((s.colorIndex % PALETTE.length) + PALETTE.length) % PALETTE.length));
    button.addEventListener('click', () => chooseColor(index));
    return button;
  }));
}

// The signature as the preview shows it: cleaned, in a frame without scripts, under a policy
// that loads nothing from elsewhere unless the person asked for remote pictures.
function previewDocument(html, remote) {
  const pictures = remote ? 'data: https: http:' : 'data:';
  const policy = `default-src 'none'; style-src 'unsafe-inline'; img-src ${pictures}; font-src data:`;
  return `<!doctype html><html><head><meta charset="utf-8">` +
      `<meta http-equiv="Content-Security-Policy" content="${policy}">` +
      `<meta name="referrer" content="no-referrer"></head><body>${QuilletCompose.cleanText(html)}</body></html>`;
}

function renderPreview() {
  const s = view.signatures[view.selectedIndex];
  $('preview-panel').hidden = !view.previewing || !s;
  if (!view.previewing || !s) return;
  $('preview-frame').srcdoc = previewDocument(s.html || '', view.remotePictures);
  $('remote-note').hidden = view.remotePictures;
}

function render() {
  renderList();
  $('intro').hidden = view.state !== 'intro';
  $('new-signature').hidden = view.state !== 'newSignature';
  $('existing').hidden = view.state !== 'existingSignature' || view.previewing;
  if (view.state === 'existingSignature') renderExisting();
  else view.previewing = false;
  renderPreview();
}

// The form's legends and parts follow the chosen client.
function renderForm() {
  const client = $('client').value;
  const all = client === 'All';
  $('account-legend').textContent = all || !client
    ? 'Use this signature only with the following email account (supported clients only)'
    : 'Use this signature only with the following email account';
  $('options').hidden = !client;
  $('options-legend').textContent = all
    ? 'Configure your signature options (supported email clients only)'
    : 'Configure your signature options';
  const key = view.mode === 'key';
  $('key-or-file-legend').textContent = key ? 'Insert your signature key' : 'Select your HTML signature file';
  $('key').hidden = !key;
  $('file-label').hidden = key;
  $('mode').textContent = key ? 'Use an HTML file' : 'Use a signature key';
  const file = $('file').files[0];
  $('file-name').textContent = file ? file.name : 'Click to select your HTML file…';
}

function showMessage(text) {
  $('message').textContent = text || '';
  $('message').hidden = !text;
}

function engageForm() {
  $('new-signature').reset();
  $('client').value = '';
  view.mode = 'key';
  showMessage('');
  renderForm();
}

function select(index) {
  if (view.state === 'newSignature' || index === view.selectedIndex) return;
  view.state = 'existingSignature';
  view.selectedIndex = index;
  view.lastSelectedIndex = index;
  view.editingColor = false;
  view.previewing = false;
  render();
}

async function chooseColor(index) {
  const s = view.signatures[view.selectedIndex];
  if (!s) return;
  view.editingColor = false;
  const answer = await ask('SaveSignature', {id: s.id, colorIndex: index});
  if (answer && answer.name === 'Refused') showHostError(answer.userInfo.message);
  render();
}

function showPreview(previewing) {
  view.previewing = previewing;
  view.remotePictures = false;
  render();
}

function startNewSignature() {
  const count = view.signatures.length;
  view.state = 'newSignature';
  view.selectedIndex = null;
  view.pending = {symbol: 'S', colorIndex: (count + PALETTE.length - 1) % PALETTE.length};
  engageForm();
  render();
  $('client').focus();
}

function cancelNewSignature() {
  resetSelection(true);
  render();
}

function fileAsBase64(file) {
  return new Promise((resolve) => {
    const reader = new FileReader();
    reader.onload = () => {
      const bytes = new Uint8Array(reader.result);
      let text = '';
      for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
      resolve(btoa(text));
    };
    reader.onerror = () => resolve('');
    reader.readAsArrayBuffer(file);
  });
}

async function install(event) {
  event.preventDefault();
  if (view.busy) return;
  view.busy = true;
  $('install').disabled = true;
  showMessage('');
  const file = $('file').files[0];
  const userInfo = {
    client: $('client').value || null,
    account: $('account').value,
    insertForRepliesForwards: $('replies-forwards').checked,
    mode: view.mode,
    key: $('key').value,
    fileName: view.mode === 'file' && file ? file.name : '',
    fileBase64: view.mode === 'file' && file ? await fileAsBase64(file) : '',
  };
  const answer = await ask('AddSignature', userInfo);
  view.busy = false;
  $('install').disabled = false;
  if (!answer) return;
  if (answer.name === 'Refused') {
    showMessage(answer.userInfo.message);
    return;
  }
  const index = view.signatures.findIndex((s) => s.id === answer.userInfo.id);
  view.pending = null;
  view.state = 'existingSignature';
  view.selectedIndex = index >= 0 ? index : 0;
  view.lastSelectedIndex = view.selectedIndex;
  render();
}

async function save() {
  const s = view.signatures[view.selectedIndex];
  if (!s) return;
  const answer = await ask('SaveSignature', {id: s.id, name: $('existing-name').value,
    insertForRepliesForwards: $('existing-replies').checked});
  if (!answer) return;
  if (answer.name === 'Refused') {
    showHostError(answer.userInfo.message);
    return;
  }
  render();
}

async function uninstall() {
  const s = view.signatures[view.selectedIndex];
  if (!s) return;
  const answer = await ask('RemoveSignature', {id: s.id});
  if (!answer) return;
  resetSelection(true);
  render();
}

$('add').addEventListener('click', startNewSignature);
$('cancel').addEventListener('click', cancelNewSignature);
$('new-signature').addEventListener('submit', install);
$('client').addEventListener('change', renderForm);
$('file').addEventListener('change', renderForm);
$('mode').addEventListener('click', () => {
  view.mode = view.mode === 'key' ? 'file' : 'key';
  if (view.mode === 'key') $('file').value = '';
  else $('key').value = '';
  renderForm();
});
$('uninstall').addEventListener('click', uninstall);
$('save').addEventListener('click', save);
$('edit-color').addEventListener('click', () => {
  view.editingColor = !view.editingColor;
  render();
});
$('preview').addEventListener('click', () => showPreview(true));
$('close-preview').addEventListener('click', () => showPreview(false));
$('load-remote').addEventListener('click', () => {
  view.remotePictures = true;
  renderPreview();
});

for (const c of QuilletClients) {
  const option = document.createElement('option');
  option.value = c.client;
  option.textContent = c.name;
  $('client').appendChild(option);
}

(async () => {
  await ask('ListSignatures');
  resetSelection(false);
  render();
  document.body.dataset.ready = 'true';
})();
