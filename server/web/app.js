// The web remote: the pad, the code list and the library of one kavro-server, over its JSON API.
// Every text that comes from outside (comments, labels, server messages) goes into the page as
// text nodes only, never as markup.
'use strict';

const TOKEN_KEY = 'kavro.token';
const HOLD_MS = 400;          // a press held this long starts repeating
const REPEAT_GAP_MS = 100;    // repeats start no closer than this, like a remote's own repeat
const SEND_TIMEOUT_MS = 15000;
const CALL_TIMEOUT_MS = 10000;
const STATUS_EVERY_MS = 2000;
const LEARN_SECONDS = 10;     // how long the controller waits for the remote's key
const LEARN_POLL_MS = 250;
const LEARN_GIVE_UP_MS = 120000;
const NOTE_MS = 1200;
const FIRST_LIBRARY_CODE = 250;
const NO_TOKEN = 'This server needs its token before the remote can be used.';

const $ = (id) => document.getElementById(id);

let token = null;
let statusTimer = 0;
let started = false;
let pad = null;            // GET /pad
let padPage = 1;
let vtr = false;
let listPage = 0;          // 0..9: codes 1..10 .. 91..100
let codes = new Map();     // number -> {number, data, comment, decode}
let picking = false;

class ApiError extends Error {
  constructor(status, message) {
    super(message);
    this.status = status;
  }
}

// ---- the API --------------------------------------------------------------------------------

async function api(method, path, body, timeoutMs = CALL_TIMEOUT_MS) {
  if (!token) throw new ApiError(401, 'no token');
  const abort = new AbortController();
  const timer = setTimeout(() => abort.abort(), timeoutMs);
  let answer;
  try {
    const init = {
      method,
      headers: { Authorization: 'Bearer ' + token },
      cache: 'no-store',
      signal: abort.signal,
    };
    if (body !== undefined) {
      init.headers['Content-Type'] = 'application/json';
      init.body = JSON.stringify(body);
    }
    answer = await fetch('api/v1' + path, init);
  } catch (e) {
    throw new ApiError(0, abort.signal.aborted ? 'time-out' : 'server unreachable');
  } finally {
    clearTimeout(timer);
  }
  let data = null;
  try {
    const text = await answer.text();
    data = text ? JSON.parse(text) : null;
  } catch (e) {
    data = null;
  }
  if (answer.status === 401) {
    askToken('The server did not accept this token. Enter the right one.');
    throw new ApiError(401, 'wrong token');
  }
  if (!answer.ok) {
    const text = data && typeof data.error === 'string' ? data.error : 'HTTP ' + answer.status;
    throw new ApiError(answer.status, text);
  }
  return data;
}

// ---- small helpers --------------------------------------------------------------------------

function el(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined && text !== null) node.textContent = String(text);
  return node;
}

function say(text, bad) {
  const line = $('message');
  line.textContent = text;
  line.classList.toggle('bad', !!bad);
}

function stored(number) {
  const code = codes.get(number);
  return code && code.data ? code : null;
}

function briefOf(code) {
  const d = code && code.decode;
  if (!d) return '';
  return typeof d.brief === 'string' && d.brief ? d.brief : String(d.protocol || '');
}

function padded(number) {
  return String(number).padStart(4, '0');
}

// The key's or row's code as a tool tip: number, comment and decode.
function describe(number, name) {
  const code = codes.get(number);
  const parts = [String(number)];
  if (name) parts.push(name);
  if (code && code.comment) parts.push(code.comment);
  const brief = briefOf(code);
  if (brief) parts.push('(' + brief + ')');
  if (!stored(number)) parts.push('— nothing stored');
  return parts.join(' ');
}

// Shows the answer of a send on the key for a moment.
function note(target, text, ok) {
  let badge = target.querySelector('.note');
  if (!badge) {
    badge = el('span', 'note');
    target.appendChild(badge);
  }
  badge.textContent = text;
  badge.classList.toggle('bad', !ok);
  badge.classList.add('shown');
  clearTimeout(target.noteTimer);
  target.noteTimer = setTimeout(() => badge.classList.remove('shown'), NOTE_MS);
}

// ---- sending and holding --------------------------------------------------------------------

async function sendCode(number, target) {
  try {
    await api('POST', '/codes/' + number + '/send', undefined, SEND_TIMEOUT_MS);
    note(target, 'done', true);
    say('Sent ' + number);
    return true;
  } catch (e) {
    if (e.status === 401) return false;
    note(target, e.message, false);
    say(number + ': ' + e.message, true);
    return false;
  }
}

// A tap sends once; a press held past HOLD_MS repeats, each send starting only once the one
// before it has been answered, and nothing starts after the release. Rows in a scrolling list
// wait for a touch to end (or to be held) before sending, so that a swipe to scroll sends
// nothing. One set of listeners per container serves all its keys or rows.
const PRESSABLE = '.key[data-code], .row[data-code]';
const RELEASES = ['pointerup', 'pointercancel', 'pointerleave'];
const presses = new Set();

function endPress(p) {
  p.held = false;
  clearTimeout(p.timer);
  presses.delete(p);
  if (p.target.press === p) {
    p.target.press = null;
    p.target.classList.remove('down');
    for (const type of RELEASES) p.target.removeEventListener(type, p.release);
  }
}

function fire(p) {
  // A key taken out of the page (the lists were drawn again) gets no release: stop with it.
  if (!p.target.isConnected) return endPress(p);
  p.busy = true;
  p.sent = true;
  p.started = performance.now();
  sendCode(Number(p.target.dataset.code), p.target).then((ok) => {
    p.busy = false;
    if (!ok) endPress(p);
    if (!p.held || !p.repeating) return;
    const wait = Math.max(0, p.started + REPEAT_GAP_MS - performance.now());
    p.timer = setTimeout(() => { if (p.held && !p.busy) fire(p); }, wait);
  });
}

function pick(target) {
  const number = Number(target.dataset.code);
  pickTarget(number, target.dataset.name || (codes.get(number) || {}).comment || '');
}

function makePressable(container) {
  container.addEventListener('pointerdown', (e) => {
    const target = e.target.closest(PRESSABLE);
    if (!target || e.button !== 0 || target.press) return;
    if (picking) {
      e.preventDefault();
      pick(target);
      return;
    }
    const p = { target, pointer: e.pointerId, held: true, repeating: false, busy: false,
                sent: false, deferred: e.pointerType === 'touch' && target.matches('.row') };
    p.release = (ev) => {
      if (ev.pointerId !== p.pointer) return;
      endPress(p);
      if (p.deferred && ev.type === 'pointerup' && !p.sent && target.isConnected) fire(p);
    };
    // The send goes first: nothing else here is worth a delay on the wire.
    if (!p.deferred) fire(p);
    for (const type of RELEASES) target.addEventListener(type, p.release);
    target.press = p;
    presses.add(p);
    if (!p.deferred) e.preventDefault();
    // Sliding off the key ends the press too.
    if (target.hasPointerCapture(e.pointerId)) target.releasePointerCapture(e.pointerId);
    target.classList.add('down');
    p.timer = setTimeout(() => {
      if (!p.held) return;
      p.repeating = true;
      if (!p.busy) fire(p);
    }, HOLD_MS);
  });
  container.addEventListener('contextmenu', (e) => {
    if (e.target.closest(PRESSABLE)) e.preventDefault();
  });
  // Enter or space on a focused key: a click without a pointer.
  container.addEventListener('click', (e) => {
    const target = e.target.closest(PRESSABLE);
    if (!target || e.detail !== 0 || target.press) return;
    if (picking) return pick(target);
    // A key held down repeats its clicks: one send at a time, as for a held pointer.
    if (target.keySending) return;
    target.keySending = true;
    sendCode(Number(target.dataset.code), target).then(() => { target.keySending = false; });
  });
}

// ---- the pad --------------------------------------------------------------------------------

function keyCode(key) {
  return vtr && key.shifted ? key.code_vtr : key.code_tv;
}

function pageKeys() {
  const page = pad.pages.find((p) => p.page === padPage) || pad.pages[0];
  return page.keys;
}

function buildPad() {
  const box = $('pad-keys');
  box.replaceChildren();
  const keys = pad.pages[0].keys;
  const all = keys.concat([pad.tv_vtr]);
  const unit = 8;  // the desktop's keys sit on an 8-pixel grid
  const left = Math.min(...all.map((k) => k.x));
  const top = Math.min(...all.map((k) => k.y));
  const place = (node, k) => {
    const col = Math.round((k.x - left) / unit) + 1;
    const row = Math.round((k.y - top) / unit) + 1;
    node.style.gridColumn = col + ' / span ' + Math.max(1, Math.round(k.width / unit));
    node.style.gridRow = row + ' / span ' + Math.max(1, Math.round(k.height / unit));
  };
  const cols = Math.max(...all.map((k) => Math.round((k.x - left + k.width) / unit)));
  const rows = Math.max(...all.map((k) => Math.round((k.y - top + k.height) / unit)));
  box.style.setProperty('--cols', String(cols));
  box.style.setProperty('--rows', String(rows));

  keys.forEach((k, i) => {
    const b = el('button', 'key ' + (k.color || 'black'));
    b.type = 'button';
    b.dataset.index = String(i);
    b.appendChild(el('span', 'cap'));
    b.appendChild(el('span', 'num'));
    place(b, k);
    box.appendChild(b);
  });

  const mode = el('button', 'key teal mode');
  mode.type = 'button';
  mode.id = 'tv-vtr';
  place(mode, pad.tv_vtr);
  mode.addEventListener('click', () => {
    vtr = !vtr;
    say('');
    drawPad();
  });
  box.appendChild(mode);

  const pages = $('pad-pages');
  pages.replaceChildren();
  for (const p of pad.pages) {
    const b = el('button', 'chip', 'Page ' + p.page);
    b.type = 'button';
    b.dataset.page = String(p.page);
    b.addEventListener('click', () => {
      padPage = p.page;
      drawPad();
    });
    pages.appendChild(b);
  }
}

// Captions, code numbers and dimming for the page and mode in force.
function drawPad() {
  const keys = pageKeys();
  for (const b of $('pad-keys').querySelectorAll('.key[data-index]')) {
    const k = keys[Number(b.dataset.index)];
    const number = keyCode(k);
    const name = vtr ? k.label_vtr : k.label;
    b.querySelector('.cap').textContent = k.caption;
    b.querySelector('.num').textContent = String(number);
    b.dataset.code = String(number);
    // What a code learned with this key is called, as on the desktop.
    b.dataset.name = 'P' + padPage + ' ' + name;
    b.classList.toggle('empty', !stored(number));
    b.classList.toggle('ext', !!k.ext);
    b.title = describe(number, name);
    b.setAttribute('aria-label', k.caption + ', ' + name);
  }
  const mode = $('tv-vtr');
  mode.textContent = vtr ? 'VTR' : 'TV';
  mode.setAttribute('aria-pressed', String(vtr));
  mode.title = 'Digits and channel keys send the ' + (vtr ? 'VTR' : 'TV') + ' codes; tap to switch';
  for (const b of $('pad-pages').children) {
    b.setAttribute('aria-pressed', String(Number(b.dataset.page) === padPage));
  }
}

// ---- the code list and the library ----------------------------------------------------------

// One row, cloned: far quicker than making its parts one by one for a thousand codes.
const ROW = (() => {
  const li = el('li');
  const b = el('button', 'row');
  b.type = 'button';
  b.append(el('span', 'n'), el('span', 'c'), el('span', 'd'));
  li.appendChild(b);
  return li;
})();

function makeRow(number) {
  const li = ROW.cloneNode(true);
  li.firstChild.dataset.code = String(number);
  return li;
}

function fillRow(b, number, shownNumber) {
  const code = codes.get(number);
  b.dataset.code = String(number);
  b.children[0].textContent = shownNumber;
  b.children[1].textContent = code && code.comment ? code.comment : '';
  b.children[2].textContent = briefOf(code);
  b.classList.toggle('empty', !stored(number));
}

function buildList() {
  const chips = $('list-pages');
  chips.replaceChildren();
  for (let p = 0; p < 10; ++p) {
    const b = el('button', 'chip', p * 10 + 1 + '–' + (p * 10 + 10));
    b.type = 'button';
    b.dataset.page = String(p);
    b.addEventListener('click', () => {
      listPage = p;
      drawList();
    });
    chips.appendChild(b);
  }
  const rows = $('list-rows');
  for (let i = 1; i <= 10; ++i) rows.appendChild(makeRow(i));
}

function drawList() {
  [...$('list-rows').children].forEach((li, i) => {
    const number = listPage * 10 + i + 1;
    fillRow(li.firstChild, number, String(number));
  });
  for (const b of $('list-pages').children) {
    b.setAttribute('aria-pressed', String(Number(b.dataset.page) === listPage));
  }
}

// The library: codes from 250 up and, in the same order, the text the search looks in. Only
// the first LIBRARY_CHUNK hits are drawn at once, more as the list is scrolled to its end.
const LIBRARY_CHUNK = 100;
let library = [];
let libraryText = [];
let libraryHits = [];
let libraryShown = 0;
let moreWatch = null;

function drawLibrary() {
  library = [...codes.values()]
    .filter((c) => c.number >= FIRST_LIBRARY_CODE)
    .sort((a, b) => a.number - b.number);
  libraryText = library.map((code) =>
    [String(code.number), padded(code.number), code.comment || '',
     code.decode ? String(code.decode.protocol || '') : '', briefOf(code)]
      .join('\n').toLowerCase());
  filterLibrary();
}

function filterLibrary() {
  const words = $('search').value.trim().toLowerCase().split(/\s+/).filter(Boolean);
  libraryHits = [];
  libraryText.forEach((text, i) => {
    if (words.every((w) => text.includes(w))) libraryHits.push(i);
  });
  $('library-rows').replaceChildren();
  $('library-rows').parentNode.scrollTop = 0;
  libraryShown = 0;
  showMoreLibrary();
  const all = library.length === 1 ? '1 code' : library.length + ' codes';
  $('library-count').textContent = library.length === 0 ? 'No codes from 250 up.'
                                   : words.length ? libraryHits.length + ' of ' + all : all;
}

function showMoreLibrary() {
  const end = Math.min(libraryHits.length, libraryShown + LIBRARY_CHUNK);
  const fresh = document.createDocumentFragment();
  for (let i = libraryShown; i < end; ++i) {
    const code = library[libraryHits[i]];
    const li = makeRow(code.number);
    fillRow(li.firstChild, code.number, padded(code.number));
    fresh.appendChild(li);
  }
  $('library-rows').appendChild(fresh);
  libraryShown = end;
  const more = $('library-more');
  more.hidden = libraryShown >= libraryHits.length;
  more.textContent = 'Show more (' + (libraryHits.length - libraryShown) + ')';
  if (!('IntersectionObserver' in window)) return;
  if (!moreWatch) {
    moreWatch = new IntersectionObserver((seen) => {
      if (seen.some((e) => e.isIntersecting) && !more.hidden) showMoreLibrary();
    });
  }
  // Watched anew, so that a button still in sight after this chunk brings the next one.
  moreWatch.unobserve(more);
  moreWatch.observe(more);
}

function drawAll() {
  if (pad) drawPad();
  drawList();
  drawLibrary();
}

async function fetchCodes() {
  const list = await api('GET', '/codes');
  const fresh = new Map();
  if (Array.isArray(list)) {
    for (const c of list) {
      if (c && Number.isInteger(c.number)) fresh.set(c.number, c);
    }
  }
  codes = fresh;
}

async function loadCodes() {
  await fetchCodes();
  drawAll();
}

// ---- learning -------------------------------------------------------------------------------

let commentTyped = false;

// What the desktop calls a code learned with a pad key ("P2 VTR 5"); empty for other codes.
function padName(number) {
  for (const page of pad ? pad.pages : []) {
    for (const k of page.keys) {
      if (k.code_tv === number) return 'P' + page.page + ' ' + k.label;
      if (k.code_vtr === number) return 'P' + page.page + ' ' + k.label_vtr;
    }
  }
  return '';
}

// The comment a new code gets unless one is typed: its present one, or the key's name on the pad.
function defaultComment(number, name) {
  const code = codes.get(number);
  if (code && code.comment) return code.comment;
  return name || padName(number);
}

function setLearnTarget(number, name) {
  $('learn-number').value = String(number);
  if (!commentTyped || name) {
    $('learn-comment').value = defaultComment(number, name);
    commentTyped = false;
  }
}

function setPicking(on) {
  picking = on;
  document.body.classList.toggle('is-picking', on);
  $('picking').hidden = !on;
  if (on) showPanel('pad');
}

function pickTarget(number, name) {
  setPicking(false);
  setLearnTarget(number, name);
  showPanel('learn');
  $('learn-comment').focus();
}

async function learn(number, comment) {
  const start = $('learn-start');
  const count = $('learn-count');
  const text = $('learn-text');
  const state = $('learn-state');
  start.disabled = true;
  state.className = 'learn-state busy';
  count.textContent = '';
  text.textContent = 'Starting…';
  let job;
  try {
    job = (await api('POST', '/learn', { number, comment })).job;
  } catch (e) {
    state.className = 'learn-state bad';
    text.textContent = e.message;
    start.disabled = false;
    return;
  }
  const began = performance.now();
  let runningSince = 0;
  const tick = setInterval(() => {
    if (!runningSince) return;
    const left = LEARN_SECONDS - Math.floor((performance.now() - runningSince) / 1000);
    count.textContent = String(Math.max(0, left));
  }, 200);
  const end = (ok, message) => {
    clearInterval(tick);
    count.textContent = '';
    state.className = 'learn-state ' + (ok ? 'ok' : 'bad');
    text.textContent = message;
    start.disabled = false;
  };
  for (;;) {
    await new Promise((r) => setTimeout(r, LEARN_POLL_MS));
    let answer;
    try {
      answer = await api('GET', '/jobs/' + job);
    } catch (e) {
      if (e.status === 0 && performance.now() - began < LEARN_GIVE_UP_MS) continue;
      return end(false, e.message);
    }
    if (answer.state === 'queued') {
      text.textContent = 'Waiting for the controller…';
    } else if (answer.state === 'running') {
      if (!runningSince) {
        runningSince = performance.now();
        count.textContent = String(LEARN_SECONDS);
      }
      text.textContent = 'Press the key on the remote now';
    } else if (answer.state === 'done') {
      try {
        await loadCodes();
      } catch (e) {
        // The code is stored; the lists catch up at the next load.
      }
      const brief = briefOf(codes.get(number));
      return end(true, 'Learned code ' + number + (brief ? ' (' + brief + ')' : ''));
    } else {
      return end(false, answer.error || 'learn failed');
    }
    if (performance.now() - began > LEARN_GIVE_UP_MS) {
      return end(false, 'no answer from the server');
    }
  }
}

// ---- status ---------------------------------------------------------------------------------

async function pollStatus() {
  clearTimeout(statusTimer);
  statusTimer = 0;
  if (!token || document.hidden) return;
  const line = $('status');
  const text = $('status-text');
  try {
    const s = await api('GET', '/status');
    line.className = 'status ' + (s.online ? 'online' : 'offline');
    const where = [s.link, s.device ? '(' + s.device + ')' : ''].filter(Boolean).join(' ');
    text.textContent = (s.online ? 'online' : 'offline') + (where ? ' · ' + where : '') +
                       ' · queue ' + s.queue;
  } catch (e) {
    if (e.status === 401) return;
    line.className = 'status offline';
    text.textContent = e.message;
  }
  if (token && !document.hidden && !statusTimer) {
    statusTimer = setTimeout(pollStatus, STATUS_EVERY_MS);
  }
}

// ---- panels, token, start -------------------------------------------------------------------

function showPanel(id) {
  for (const section of document.querySelectorAll('.panel')) {
    section.classList.toggle('active', section.id === id);
  }
  for (const b of $('tabs').children) {
    b.setAttribute('aria-pressed', String(b.dataset.panel === id));
  }
}

function askToken(why) {
  token = null;
  started = false;
  clearTimeout(statusTimer);
  statusTimer = 0;
  try {
    localStorage.removeItem(TOKEN_KEY);
  } catch (e) {
    // Storage may be off; the token then lasts as long as the page.
  }
  $('main').hidden = true;
  $('tabs').hidden = true;
  $('token-form').hidden = false;
  $('token-why').textContent = why;
  $('token-why').classList.toggle('bad', why !== NO_TOKEN);
  $('status').className = 'status';
  $('status-text').textContent = 'no token';
  $('token').focus();
}
function useToken(value) {
  token = value;
  try {
    localStorage.setItem(TOKEN_KEY, value);
  } catch (e) {
    // As above.
  }
}

async function start() {
  if (started) return;
  started = true;
  $('token-form').hidden = true;
  $('main').hidden = false;
  $('tabs').hidden = false;
  // The code list first: it is what the server takes longest over.
  const loading = Promise.all([fetchCodes(), api('GET', '/pad')]);
  pollStatus();
  try {
    const [, padAnswer] = await loading;
    pad = padAnswer;
    padPage = pad.page;
    vtr = pad.mode === 'VTR';
    buildPad();
    drawAll();
    document.body.classList.add('ready');
    performance.mark('kavro-ready');
  } catch (e) {
    if (e.status !== 401) say(e.message, true);
  }
}

function wire() {
  for (const b of $('tabs').children) {
    b.addEventListener('click', () => showPanel(b.dataset.panel));
  }
  $('search').addEventListener('input', filterLibrary);
  $('library-more').addEventListener('click', showMoreLibrary);
  $('learn-number').addEventListener('input', () => {
    const n = Number($('learn-number').value);
    if (!commentTyped && Number.isInteger(n)) $('learn-comment').value = defaultComment(n, '');
  });
  $('learn-comment').addEventListener('input', () => { commentTyped = true; });
  $('pick').addEventListener('click', () => setPicking(true));
  $('pick-cancel').addEventListener('click', () => setPicking(false));
  $('learn-form').addEventListener('submit', (e) => {
    e.preventDefault();
    const number = Number($('learn-number').value);
    if (!Number.isInteger(number) || number < 0 || number > 9999) {
      say('The code number must be 0 to 9999', true);
      return;
    }
    learn(number, $('learn-comment').value);
  });
  $('token-form').addEventListener('submit', (e) => {
    e.preventDefault();
    const value = $('token').value.trim();
    if (!value) return;
    $('token').value = '';
    useToken(value);
    start();
  });
  // A press whose release the page may never see ends when the page loses the focus.
  window.addEventListener('blur', () => presses.forEach(endPress));
  document.addEventListener('visibilitychange', () => {
    if (document.hidden) {
      presses.forEach(endPress);
      clearTimeout(statusTimer);
      statusTimer = 0;
    } else if (started) {
      pollStatus();
      loadCodes().catch(() => {});
    }
  });
  buildList();
  for (const id of ['pad-keys', 'list-rows', 'library-rows']) makePressable($(id));
}

// A token in the address's fragment (#token=...), taken out of the address bar so that it is
// neither bookmarked nor shown over a shoulder.
function tokenFromFragment() {
  const found = /(?:^#|&)token=([^&]*)/.exec(location.hash);
  if (!found) return false;
  history.replaceState(null, '', location.pathname + location.search);
  let value = '';
  try {
    value = decodeURIComponent(found[1]).trim();
  } catch (e) {
    value = '';
  }
  if (value) useToken(value);
  return !!value;
}

function takeToken() {
  if (tokenFromFragment()) return true;
  try {
    token = localStorage.getItem(TOKEN_KEY);
  } catch (e) {
    token = null;
  }
  return !!token;
}

wire();
// A link with a token opened in this tab again.
window.addEventListener('hashchange', () => {
  if (!tokenFromFragment()) return;
  started = false;
  start();
});
if (takeToken()) start();
else askToken(NO_TOKEN);
