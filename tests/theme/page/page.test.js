'use strict';
// The default theme's pages in a real browser engine (Debian's Chromium,
// headless), fed exactly as the program feeds them: the page calls that the
// real zel.exe made under Wine (recorded by the theme_page_trace test) are
// replayed, and window.external is a recorder of IWrapCore that answers as
// the type library says, with the few reactions of the program that a
// click needs taken from the same recording. The cases assert what a user
// sees, by computed style and boxes, and the calls the page makes.
//
// Environment (set by ctest):
//   ZEL_PAGE_TRACE       the recorded page calls (JSON lines with marks)
//   ZEL_THEME_HTML_DIR   the theme's html folder in the source tree
//   ZEL_PAGE_OUTPUT_DIR  where the screenshots go
//   ZEL_README_PICTURE   the README's picture of the main page
//   ZEL_CHROMIUM         the browser

const { test, before, after, afterEach } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { pathToFileURL } = require('node:url');
const puppeteer = require('puppeteer-core');

const WIDTH = 800;
const HEIGHT = 560;
const outputDir = process.env.ZEL_PAGE_OUTPUT_DIR || path.join(__dirname, 'screenshots');
const htmlDir = process.env.ZEL_THEME_HTML_DIR || path.join(__dirname, '..', '..', '..', 'theme', 'default', 'html');

// ---- the recording ---------------------------------------------------------

// The recording split at its marks: episode name -> {id, calls}.
function readEpisodes(file) {
  const episodes = {};
  let current = null;
  for (const line of fs.readFileSync(file, 'utf8').split('\n')) {
    if (!line.trim()) continue;
    const record = JSON.parse(line);
    if (record.mark) {
      current = { id: record.id || 0, calls: [] };
      episodes[record.mark] = current;
    } else if (current) {
      current.calls.push(record);
    }
  }
  for (const name of ['load', 'select', 'buy', 'balloon']) {
    assert.ok(episodes[name] && episodes[name].calls.length, `the recording has no ${name} episode`);
  }
  return episodes;
}

function callsOf(episode, page) {
  return episode.calls.filter((c) => c.page === page);
}

// ---- window.external -------------------------------------------------------

// Runs in the page before its own scripts. `kind` is 'main' or 'balloon';
// `reactions` holds the recorded answers of the program: select (to the
// saved selection of game select.id), buy (to gameBuy of game buy.id).
function installProgram(kind, reactions) {
  // IWrapCore's methods with their parameters: s text (BSTR), n unsigned.
  var METHODS = {
    optionSave: 'ss', windowInit: 'nn', windowMove: '', windowClose: '', windowMinimize: '',
    kernelUrl: 's', kernelUrlNotify: 's', kernelLogin: 'ss', loginUsingVkontakte: '',
    gameRun: 'n', gameDelete: 'n', gameSelect: 'n', gameGetBigIcon: 'n', gameGetSmallIcon: 'n',
    gameBuy: 'snn', gameCustom: 'n', gameToFacebook: 'n', gameToVkontakte: 'n',
    shareGameToFacebook: 'n', shareGameToVkontakte: 'n', kernelUrlDirect: 's',
    installYandexPackage: 'n', updateYandexState: '', uiTest: 'n'
  };
  // What a balloon's object implements; the rest answer E_NOTIMPL.
  var BALLOON = { windowClose: 1, kernelUrl: 1, kernelUrlDirect: 1, gameSelect: 1 };
  var state = { calls: [], errors: [], pending: 0 };
  window.__program = state;

  function replay(list) {
    for (var i = 0; i < list.length; i++) {
      try {
        window[list[i].call].apply(window, list[i].args);
      } catch (e) {
        state.errors.push(list[i].call + ': ' + e);
      }
    }
  }
  window.__replay = function (list) {
    var results = [];
    for (var i = 0; i < list.length; i++) {
      try {
        results.push(window[list[i].call].apply(window, list[i].args));
      } catch (e) {
        state.errors.push(list[i].call + ': ' + e);
        results.push(undefined);
      }
    }
    return results;
  };
  // The calls the program makes while it handles the page's call come
  // before that call returns; the rest (a posted re-feed) after it.
  function answer(list) {
    var i = 0;
    while (i < list.length && list[i].nested) i++;
    replay(list.slice(0, i));
    if (i < list.length) later(list.slice(i));
  }
  function later(list) {
    state.pending++;
    setTimeout(function () {
      replay(list);
      state.pending--;
    }, 0);
  }
  var react = {
    optionSave: function (name, value) {
      if (name === 'lastselectgame' && reactions.select && value == reactions.select.id) answer(reactions.select.calls);
    },
    gameBuy: function (url, id) {
      if (reactions.buy && id === reactions.buy.id) answer(reactions.buy.calls);
    },
    // A login that goes through ends in the page's share question.
    gameToFacebook: function (id) { later([{ call: 'inShowShareDialog', args: [id, 1] }]); },
    gameToVkontakte: function (id) { later([{ call: 'inShowShareDialog', args: [id, 0] }]); }
  };

  var external = {};
  Object.keys(METHODS).forEach(function (name) {
    external[name] = function () {
      var kinds = METHODS[name], args = [], i, v, n;
      if (arguments.length < kinds.length) throw new Error(name + ': a parameter is missing');
      for (i = 0; i < kinds.length; i++) {
        v = arguments[i];
        if (kinds.charAt(i) === 'n') {
          n = typeof v === 'number' || typeof v === 'string' ? Number(v) : NaN;
          if (isNaN(n) || n < 0 || n > 4294967295 || n !== Math.floor(n)) {
            throw new Error(name + ': parameter ' + (i + 1) + ' is no unsigned number: ' + v);
          }
          args.push(n);
        } else {
          args.push(v === null || v === undefined ? '' : String(v));
        }
      }
      state.calls.push({ name: name, args: args });
      if (kind === 'balloon' ? !BALLOON[name] : name === 'gameSelect') {
        throw new Error(name + ': not implemented here');
      }
      if (react[name]) react[name].apply(null, args);
    };
  });
  Object.defineProperty(window, 'external', { value: external, configurable: true, writable: true });
}

// ---- what a user sees --------------------------------------------------------

// Runs in the page: whether the element is on screen. Shown means no
// ancestor hides it, it has a box, and part of the box lies inside the
// window and inside every ancestor that clips; onTop that nothing covers
// its middle, so a click there reaches it.
function look(selector) {
  var el = document.querySelector(selector);
  if (!el) return { shown: false, why: 'missing' };
  var e, cs;
  for (e = el; e && e.nodeType === 1; e = e.parentElement) {
    cs = getComputedStyle(e);
    if (cs.display === 'none') return { shown: false, why: 'display:none on ' + (e.id || e.tagName) };
    if (cs.visibility === 'hidden') return { shown: false, why: 'visibility:hidden on ' + (e.id || e.tagName) };
    if (Number(cs.opacity) === 0) return { shown: false, why: 'opacity 0 on ' + (e.id || e.tagName) };
  }
  var r = el.getBoundingClientRect();
  if (r.width < 1 || r.height < 1) return { shown: false, why: 'no box' };
  var left = Math.max(r.left, 0), top = Math.max(r.top, 0);
  var right = Math.min(r.right, window.innerWidth), bottom = Math.min(r.bottom, window.innerHeight);
  for (e = el.parentElement; e && e !== document.documentElement; e = e.parentElement) {
    if (getComputedStyle(e).overflow === 'visible') continue;
    var c = e.getBoundingClientRect();
    left = Math.max(left, c.left); top = Math.max(top, c.top);
    right = Math.min(right, c.right); bottom = Math.min(bottom, c.bottom);
  }
  if (right - left < 1 || bottom - top < 1) return { shown: false, why: 'outside the visible area' };
  var hit = document.elementFromPoint((left + right) / 2, (top + bottom) / 2);
  return {
    shown: true,
    onTop: !!hit && (hit === el || el.contains(hit)),
    whole: left <= r.left + 0.5 && top <= r.top + 0.5 && right >= r.right - 0.5 && bottom >= r.bottom - 0.5,
    box: { left: r.left, top: r.top, right: r.right, bottom: r.bottom },
    text: el.innerText
  };
}

async function see(page, selector) {
  return page.evaluate(look, selector);
}

async function assertShown(page, selector, what) {
  const seen = await see(page, selector);
  assert.ok(seen.shown, `${what} (${selector}) is not seen: ${seen.why}`);
  assert.ok(seen.onTop, `${what} (${selector}) is covered`);
  return seen;
}

async function assertHidden(page, selector, what) {
  const seen = await see(page, selector);
  assert.ok(!seen.shown, `${what} (${selector}) is seen`);
}

// ---- the browser ---------------------------------------------------------------

let browser;
let episodes;
let main;
const problems = [];

function watch(page, name) {
  page.on('pageerror', (error) => problems.push(`${name}: script error: ${error.message}`));
  page.on('console', (message) => {
    if (message.type() === 'error' && !/Failed to load resource|ERR_UNKNOWN_URL_SCHEME/.test(message.text())) {
      problems.push(`${name}: console error: ${message.text()}`);
    }
  });
}

async function openPage(file, kind, reactions, width, height) {
  const page = await browser.newPage();
  watch(page, file);
  await page.setViewport({ width, height });
  await page.evaluateOnNewDocument(installProgram, kind, reactions);
  await page.goto(pathToFileURL(path.join(htmlDir, file)).href, { waitUntil: 'load' });
  return page;
}

// Replays calls into the page as the program makes them, one by one;
// their results.
async function feed(page, calls) {
  return page.evaluate((list) => window.__replay(list), calls);
}

// The program's answers and the page's own timers have run.
async function settle(page) {
  await page.waitForFunction(() => window.__program.pending === 0);
  await page.evaluate(() => new Promise((done) => setTimeout(done, 50)));
}

async function programCalls(page) {
  return page.evaluate(() => window.__program.calls.splice(0));
}

async function click(page, selector) {
  await page.click(selector);
  await settle(page);
}

function screenshotPath(name) {
  fs.mkdirSync(outputDir, { recursive: true });
  return path.join(outputDir, name);
}

before(async () => {
  episodes = readEpisodes(process.env.ZEL_PAGE_TRACE);
  browser = await puppeteer.launch({
    executablePath: process.env.ZEL_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--font-render-hinting=none'],
  });
  const reactions = {
    select: { id: episodes.select.id, calls: callsOf(episodes.select, 'main.html') },
    buy: { id: episodes.buy.id, calls: callsOf(episodes.buy, 'main.html') },
  };
  main = await openPage('main.html', 'main', reactions, WIDTH, HEIGHT);
});

after(async () => {
  if (browser) await browser.close();
});

// Every case ends without a script error in any page, in the page's own
// scripts or in a page function the program called.
afterEach(async () => {
  const errors = main ? await main.evaluate(() => window.__program.errors.splice(0)) : [];
  const all = problems.splice(0).concat(errors);
  assert.deepEqual(all, [], 'script errors');
});

// ---- the cases -------------------------------------------------------------------

test('the first screen shows the catalog and the game selected at start', async () => {
  assert.deepEqual(await programCalls(main), [{ name: 'windowInit', args: [WIDTH, HEIGHT] }]);
  await feed(main, callsOf(episodes.load, 'main.html'));
  await settle(main);
  await main.screenshot({ path: screenshotPath('main-page.png') });

  const listed = await main.$$eval('#list .game', (items) => items.map((i) => i.id));
  const shownGames = episodes.load.calls.filter((c) => c.call === 'inGameUpdate' && !/ hide /.test(c.args[4]));
  assert.equal(listed.length, shownGames.length);

  // The selection made before is in sight, with its details and buttons.
  const start = episodes.load.calls.find((c) => c.call === 'inOptionLoad' && c.args[0] === 'lastselectgame');
  assert.ok(start, 'the feed selects a game');
  const item = await assertShown(main, `#game${start.args[1]}`, 'the selected game in the list');
  assert.ok(item.whole, 'the selected game is only partly in sight');
  await assertShown(main, '#detailsGame', 'the details of the selected game');
  const name = await assertShown(main, '#detailName', 'the name in the details');
  const game = shownGames.find((c) => String(c.args[0]) === start.args[1]);
  assert.equal(name.text, game.args[2]);
  await assertShown(main, '#playButton', 'Play');
  await assertShown(main, '#removeButton', 'Remove');
  await assertHidden(main, '#detailsEmpty', 'the hint to choose a game');

  // A name longer than the list is wide ends in an ellipsis.
  const cut = await main.$$eval('#list .game .name', (names) =>
    names.filter((n) => n.scrollWidth > n.clientWidth).map((n) => getComputedStyle(n).textOverflow));
  assert.ok(cut.length > 0, 'the recording has a name too long for the list');
  assert.deepEqual(cut, cut.map(() => 'ellipsis'));

  // The caption's buttons: minimise, then close at the right edge.
  const minimise = await assertShown(main, '#minimizeButton', 'the minimise button');
  const close = await assertShown(main, '#closeButton', 'the close button');
  assert.ok(close.box.left >= minimise.box.right - 0.5, 'close stands left of minimise');
  assert.ok(close.box.right >= WIDTH - 1, 'close is not at the right edge');

  // The README shows this screen.
  const picture = process.env.ZEL_README_PICTURE;
  if (picture) {
    const shot = fs.readFileSync(screenshotPath('main-page.png'));
    if (!fs.existsSync(picture) || !shot.equals(fs.readFileSync(picture))) {
      fs.mkdirSync(path.dirname(picture), { recursive: true });
      fs.writeFileSync(picture, shot);
    }
  }
});

test('choosing an installed game shows it; Play runs it; Remove asks first', async () => {
  const id = episodes.select.id;
  await programCalls(main);
  await click(main, `#game${id}`);
  assert.deepEqual(await programCalls(main), [{ name: 'optionSave', args: ['lastselectgame', String(id)] }]);
  await assertShown(main, '#detailsGame', 'the details of the chosen game');
  const update = episodes.load.calls.find((c) => c.call === 'inGameUpdate' && c.args[0] === id);
  assert.equal((await see(main, '#detailName')).text, update.args[2]);
  await assertHidden(main, '#buyButton', 'Get the game');

  await click(main, '#playButton');
  assert.deepEqual(await programCalls(main), [{ name: 'gameRun', args: [id] }]);

  await click(main, '#removeButton');
  const question = await assertShown(main, '#dialog', 'the Remove confirmation');
  assert.ok(question.text.includes(update.args[2]), 'the confirmation names the game');
  await click(main, '#dialogNo');
  await assertHidden(main, '#overlay', 'the Remove confirmation after Cancel');
  await click(main, '#removeButton');
  await click(main, '#dialogYes');
  assert.deepEqual(await programCalls(main), [{ name: 'gameDelete', args: [id] }]);
  await assertHidden(main, '#overlay', 'the Remove confirmation after Remove');
});

test('a game that is not installed can be obtained, and the program\'s message shows', async () => {
  const id = episodes.buy.id;
  await click(main, `#game${id}`);
  await programCalls(main);
  await assertShown(main, '#detailsGame', 'the details of the chosen game');
  await assertHidden(main, '#playButton', 'Play');
  await assertHidden(main, '#removeButton', 'Remove');
  await assertShown(main, '#buyButton', 'Get the game');
  await click(main, '#buyButton');
  const calls = await programCalls(main);
  assert.equal(calls.length, 1);
  assert.equal(calls[0].name, 'gameBuy');
  assert.deepEqual(calls[0].args.slice(1), [id, 0]);
  assert.match(calls[0].args[0], /^https?:\/\/[^?]+\?.*\d/, 'the store address has a query for the affiliate');

  // The recorded answer: the store did not answer (inMsgBox).
  const message = await assertShown(main, '#dialog', 'the program\'s message');
  assert.ok(message.text.trim().length > 0);
  assert.doesNotMatch(message.text, /Something went wrong/);
  await main.screenshot({ path: screenshotPath('main-message.png') });
  await assertHidden(main, '#dialogNo', 'Cancel under a message');
  await click(main, '#dialogYes');
  await assertHidden(main, '#overlay', 'the message after OK');
});

test('sharing asks before posting; the advertisement shows and opens', async () => {
  const id = episodes.select.id;
  await click(main, `#game${id}`);
  await programCalls(main);
  await click(main, '#facebookButton');
  assert.deepEqual(await programCalls(main), [{ name: 'gameToFacebook', args: [id] }]);
  const question = await assertShown(main, '#dialog', 'the share question');
  assert.match(question.text, /Facebook/);
  await click(main, '#dialogYes');
  assert.deepEqual(await programCalls(main), [{ name: 'shareGameToFacebook', args: [id] }]);
  await assertHidden(main, '#overlay', 'the share question after Post');

  // The brands that show advertisements feed them through inAdUpdate.
  const banner = 'data:image/svg+xml,' + encodeURIComponent(
    '<svg xmlns="http://www.w3.org/2000/svg" width="440" height="90"><rect width="440" height="90" fill="#d9480f"/></svg>');
  await feed(main, [{ call: 'inAdUpdate', args: ['http://ads.test/click', banner] }]);
  await settle(main);
  const ad = await assertShown(main, '#adImage', 'the advertisement');
  assert.ok(ad.whole, 'the advertisement is cut off');
  await main.screenshot({ path: screenshotPath('main-ad.png') });
  await click(main, '#adImage');
  assert.deepEqual(await programCalls(main), [{ name: 'kernelUrl', args: ['http://ads.test/click'] }]);
});

test('a new game\'s balloon shows it and leads to it', async () => {
  // The update's rows reach the main page; the balloon gets its own feed.
  await feed(main, callsOf(episodes.balloon, 'main.html'));
  await settle(main);
  const fed = callsOf(episodes.balloon, 'balloon.html');
  assert.deepEqual(fed.map((c) => c.call), ['inOptionLoad', 'inNewGame']);
  const announced = fed[1].args;
  const badges = await main.$$eval(`#game${announced[0]} .badge`, (found) => found.map((b) => b.innerText));
  assert.deepEqual(badges, ['new'], 'the announced game is listed as new');

  const balloon = await openPage('balloon.html', 'balloon', {}, WIDTH, HEIGHT);
  const results = await feed(balloon, fed);
  const size = results[1];
  assert.ok(size && size.width > 0 && size.height > 0, 'inNewGame answers with a size');
  // The program sizes the balloon window as asked.
  await balloon.setViewport({ width: size.width, height: size.height });
  await settle(balloon);
  await balloon.screenshot({ path: screenshotPath('balloon.png') });

  const title = await assertShown(balloon, '#title', 'the balloon\'s title');
  assert.equal(title.text, announced[2]);
  await assertShown(balloon, '#text', 'the balloon\'s description');
  const action = await assertShown(balloon, '#actionButton', 'the balloon\'s button');
  assert.ok(action.whole, 'the balloon\'s button is cut off');
  await assertShown(balloon, '#closeButton', 'the balloon\'s close button');
  await click(balloon, '#actionButton');
  assert.deepEqual(await programCalls(balloon),
    [{ name: 'gameSelect', args: [announced[0]] }, { name: 'windowClose', args: [] }]);
  const errors = await balloon.evaluate(() => window.__program.errors.splice(0));
  assert.deepEqual(errors, []);
  await balloon.close();
});
