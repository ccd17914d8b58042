// The catalog page. The program pushes its data in through the in* functions
// below (options, games, messages) and the page answers through
// window.external. Plain ES3: the page runs in the WebBrowser control's
// script engine, which may be an old one.

var APP_ID = 'zel';
var WINDOW_WIDTH = 800;
var WINDOW_HEIGHT = 560;
// Where a game that is not installed can be had; the program adds the
// affiliate (and the game's brand) to the address.
var STORE_URL = 'https://games.quivmark.example/buy.php?id=';

// What the program told the page.
var games = {};
var options = {};
var selectedId = 0;
// The selection the list last scrolled to; a re-feed of the same selection
// leaves the list where the user scrolled it.
var revealedId = 0;
var adClickUrl = '';

// Page state.
var rendering = false;
var renderTimer = null;
var filter = 'all';
var dialogYesAction = null;

var MESSAGES = {
  1: 'The login or password is not correct.',
  2: 'The server did not answer. Please check your Internet connection.',
  3: 'The server cannot be reached. Please check your Internet connection.',
  4: 'The server could not handle the request. Please try again later.',
  5: 'The server sent a damaged answer. Please try again later.',
  6: 'There is not enough memory to receive the answer.',
  7: 'The download was interrupted. Please try again.',
  8: 'The server sent an answer that cannot be read. Please try again later.',
  9: 'The request could not be sent.',
  11: 'This page cannot be opened right now. Please check your Internet connection.',
  12: 'The game could not be started. Please reinstall it.',
  13: 'The store cannot be reached right now. Please try again later.',
  14: 'Another game is being installed or removed. Please try again when it has finished.',
  101: 'The catalog could not be updated. Please try again later.',
  300: 'The game has been posted to your Facebook feed.',
  301: 'The game could not be posted to Facebook.',
  302: 'Please sign in to Facebook to share the game.',
  310: 'The game has been posted to your VKontakte wall.',
  311: 'The game could not be posted to VKontakte.',
  312: 'Please sign in to VKontakte to share the game.',
  400: 'The game\'s bonus could not be downloaded. Please try again later.',
  401: 'The game\'s bonus is no longer offered.',
  402: 'Your game key: '
};
var UNKNOWN_MESSAGE = 'Something went wrong (code ';

// ---- helpers -------------------------------------------------------------

function messageText(code, text) {
  var n = toNumber(code);
  var words = MESSAGES[n];
  if (words === undefined) {
    return UNKNOWN_MESSAGE + n + ').';
  }
  if (n == 402) {
    return words + toText(text);
  }
  return words;
}

function hasWord(status, word) {
  return (' ' + toText(status) + ' ').indexOf(' ' + word + ' ') >= 0;
}

function latestRelease() {
  var latest = 0, older = false, id, g;
  for (id in games) {
    g = games[id];
    if (g.hidden) {
      continue;
    }
    if (latest && g.release != latest) {
      older = true;
    }
    if (g.release > latest) {
      latest = g.release;
    }
  }
  // When every game shares one release, none of them is news.
  return older ? latest : 0;
}

function isNew(game, latest) {
  return latest > 0 && game.release == latest && !game.installed;
}

function visibleGames() {
  var list = [], latest = latestRelease(), id, g;
  for (id in games) {
    g = games[id];
    if (g.hidden) {
      continue;
    }
    if (filter == 'mine' && !g.installed) {
      continue;
    }
    if (filter == 'new' && !isNew(g, latest)) {
      continue;
    }
    list.push(g);
  }
  list.sort(function (x, y) {
    var a = x.name.toLowerCase(), b = y.name.toLowerCase();
    if (a < b) {
      return -1;
    }
    return a > b ? 1 : x.id - y.id;
  });
  return list;
}

function pictureUrl(id) {
  var library = toText(options.games_dll);
  return library ? 'res://' + library + '/SMALL/S' + id + '.PIC' : '';
}

// A game's picture from the icon library, or its initial on a coloured tile
// when the library holds none.
function fillPicture(image, letter, game) {
  var url = pictureUrl(game.id);
  setText(letter, game.name ? game.name.charAt(0).toUpperCase() : '?');
  show(image, false);
  show(letter, true);
  if (!url) {
    return;
  }
  image.onload = function () {
    show(letter, false);
    show(image, true);
  };
  image.onerror = function () {
    show(image, false);
    show(letter, true);
  };
  image.src = url;
}

// ---- rendering -----------------------------------------------------------

function scheduleRender() {
  if (rendering && renderTimer === null) {
    renderTimer = window.setTimeout(render, 0);
  }
}

function render() {
  if (renderTimer !== null) {
    window.clearTimeout(renderTimer);
    renderTimer = null;
  }
  renderTabs();
  renderList();
  renderDetails();
  renderFooter();
}

function renderTabs() {
  byId('tabAll').className = filter == 'all' ? 'tab current' : 'tab';
  byId('tabMine').className = filter == 'mine' ? 'tab current' : 'tab';
  byId('tabNew').className = filter == 'new' ? 'tab current' : 'tab';
}

function makeGameItem(game, latest) {
  var item = document.createElement('div');
  var picture = document.createElement('span');
  var image = document.createElement('img');
  var letter = document.createElement('span');
  var name = document.createElement('span');
  var badges = document.createElement('span');
  var badge;

  item.className = game.id == selectedId ? 'game selected' : 'game';
  item.id = 'game' + game.id;
  picture.className = 'picture';
  letter.className = 'letter';
  name.className = 'name';
  badges.className = 'badges';
  setText(name, game.name);
  if (isNew(game, latest)) {
    badge = document.createElement('span');
    badge.className = 'badge new';
    setText(badge, 'new');
    badges.appendChild(badge);
  }
  if (game.installed) {
    badge = document.createElement('span');
    badge.className = 'badge installed';
    setText(badge, 'installed');
    badges.appendChild(badge);
  }
  picture.appendChild(image);
  picture.appendChild(letter);
  item.appendChild(picture);
  item.appendChild(name);
  item.appendChild(badges);
  fillPicture(image, letter, game);

  item.onclick = function () {
    selectGame(game.id, true);
  };
  item.ondblclick = function () {
    if (game.installed) {
      playGame(game.id);
    }
  };
  return item;
}

function renderList() {
  var list = byId('list'), shown = visibleGames(), latest = latestRelease();
  var top = list.scrollTop, i, note;
  list.innerHTML = '';
  for (i = 0; i < shown.length; i++) {
    list.appendChild(makeGameItem(shown[i], latest));
  }
  if (!shown.length) {
    note = document.createElement('div');
    note.className = 'note';
    setText(note, filter == 'all' ? 'The catalog is empty.' : 'No games here yet.');
    list.appendChild(note);
  }
  list.scrollTop = top;
  revealSelection(list);
}

// Scrolls the list so that a newly selected game is in sight.
function revealSelection(list) {
  var item = byId('game' + selectedId), top, bottom, height;
  if (!item || revealedId == selectedId) {
    return;
  }
  revealedId = selectedId;
  try {
    top = toNumber(item.offsetTop);
    bottom = top + toNumber(item.offsetHeight);
    height = toNumber(list.clientHeight);
    if (top < list.scrollTop) {
      list.scrollTop = top;
    } else if (height > 0 && bottom > list.scrollTop + height) {
      list.scrollTop = bottom - height;
    }
  } catch (e) {
    // An engine without layout still shows the selection.
  }
}

function renderDetails() {
  var game = games[selectedId];
  var status;
  if (!game || game.hidden) {
    show(byId('detailsGame'), false);
    show(byId('detailsEmpty'), true);
    return;
  }
  show(byId('detailsEmpty'), false);
  show(byId('detailsGame'), true);
  setText(byId('detailName'), game.name);
  setText(byId('detailDescription'), game.desc);
  if (game.installed) {
    status = 'Installed';
    if (game.runs == 1) {
      status += ', played once';
    } else if (game.runs > 1) {
      status += ', played ' + game.runs + ' times';
    }
  } else {
    status = 'Not installed';
  }
  if (isNew(game, latestRelease())) {
    status = 'New! ' + status;
  }
  setText(byId('detailStatus'), status);
  show(byId('playButton'), game.installed);
  show(byId('removeButton'), game.installed);
  show(byId('buyButton'), !game.installed);
  fillPicture(byId('detailImage'), byId('detailLetter'), game);
}

function renderFooter() {
  var n = 0, id;
  for (id in games) {
    if (!games[id].hidden) {
      n++;
    }
  }
  setText(byId('gameCount'), n == 1 ? '1 game' : n + ' games');
  setText(byId('version'), options.ver ? 'Version ' + options.ver : '');
}

// ---- user actions --------------------------------------------------------

function selectGame(id, byUser) {
  var n = toNumber(id);
  var changed = n != selectedId;
  selectedId = n;
  if (rendering) {
    render();
  }
  // The program stores the choice; it then feeds the page again.
  if (byUser && changed && n) {
    callProgram('optionSave', 'lastselectgame', String(n));
  }
}

function playGame(id) {
  callProgram('gameRun', toNumber(id));
}

// The program checks that the store answers (or tells why not) and opens
// the game's page there in the user's browser.
function buyGame(id) {
  var game = games[toNumber(id)];
  if (game) {
    callProgram('gameBuy', STORE_URL + game.id, game.id, game.afl);
  }
}

function askToRemove(id) {
  var game = games[id];
  if (!game) {
    return;
  }
  openDialog('Remove ' + game.name + ' from this computer?', 'Remove', function () {
    callProgram('gameDelete', game.id);
  });
}

function setFilter(name) {
  filter = name;
  render();
}

function showAd(clickUrl, imageUrl) {
  var ad = byId('ad'), image = byId('adImage');
  adClickUrl = toText(clickUrl);
  if (!toText(imageUrl)) {
    show(ad, false);
    return;
  }
  image.src = toText(imageUrl);
  show(ad, true);
}

// ---- the dialog ----------------------------------------------------------

// One dialog serves messages (OK only) and questions (yes/cancel).
function openDialog(text, yesLabel, yesAction) {
  setText(byId('dialogText'), text);
  setText(byId('dialogYes'), yesLabel || 'OK');
  show(byId('dialogNo'), !!yesAction);
  dialogYesAction = yesAction || null;
  show(byId('overlay'), true);
}

function closeDialog(confirmed) {
  var action = dialogYesAction;
  dialogYesAction = null;
  show(byId('overlay'), false);
  if (confirmed && action) {
    action();
  }
}

// ---- start ---------------------------------------------------------------

function bindControls() {
  byId('caption').onmousedown = function () {
    var e = null;
    try {
      e = window.event;
    } catch (x) {
      // No event object: take it as the left button.
    }
    // Only the left button drags (IE numbers it 1, newer engines 0).
    if (e && e.button != 1 && e.button != 0) {
      return;
    }
    callProgram('windowMove');
  };
  byId('minimizeButton').onclick = function () {
    callProgram('windowMinimize');
  };
  byId('closeButton').onclick = function () {
    callProgram('windowClose');
  };
  byId('tabAll').onclick = function () {
    setFilter('all');
  };
  byId('tabMine').onclick = function () {
    setFilter('mine');
  };
  byId('tabNew').onclick = function () {
    setFilter('new');
  };
  byId('playButton').onclick = function () {
    playGame(selectedId);
  };
  byId('buyButton').onclick = function () {
    buyGame(selectedId);
  };
  byId('removeButton').onclick = function () {
    askToRemove(selectedId);
  };
  byId('facebookButton').onclick = function () {
    callProgram('gameToFacebook', selectedId);
  };
  byId('vkontakteButton').onclick = function () {
    callProgram('gameToVkontakte', selectedId);
  };
  byId('adImage').onclick = function () {
    if (adClickUrl) {
      callProgram('kernelUrl', adClickUrl);
    }
  };
  byId('dialogYes').onclick = function () {
    closeDialog(true);
  };
  byId('dialogNo').onclick = function () {
    closeDialog(false);
  };
}

window.onload = function () {
  bindControls();
  show(byId('overlay'), false);
  show(byId('ad'), false);
  renderDetails();
  callProgram('windowInit', WINDOW_WIDTH, WINDOW_HEIGHT);
};

// ---- functions the program calls -----------------------------------------

// The loaded page belongs to a theme of this program.
function inTestQuivmarkSkin() {
  return true;
}

// The application id the web service knows this theme by.
function inSkinInfo() {
  return APP_ID;
}

function inOptionLoad(name, value) {
  var key = toText(name);
  options[key] = toText(value);
  if (key == 'lastselectgame') {
    selectGame(options[key], false);
  } else if (key == 'ver' && rendering) {
    renderFooter();
  }
  return true;
}

// false: the program is about to change many games, hold the drawing;
// true: draw everything now.
function inRender(enable) {
  rendering = !!enable;
  if (rendering) {
    render();
  } else if (renderTimer !== null) {
    window.clearTimeout(renderTimer);
    renderTimer = null;
  }
}

function inGameUpdate(id, afl, name, desc, status, release, rating, installed, runs,
                      custom, itunesId, itunesIdFree, itunesIdIpad, itunesIdIpadFree,
                      track, utm) {
  var key = toNumber(id);
  if (!key) {
    return;
  }
  games[key] = {
    id: key,
    afl: toNumber(afl),
    name: toText(name),
    desc: toText(desc),
    installed: hasWord(status, 'inst') || toNumber(installed) != 0,
    hidden: hasWord(status, 'hide'),
    release: toNumber(release),
    rating: toNumber(rating),
    runs: toNumber(runs),
    custom: toText(custom),
    track: toNumber(track)
  };
  scheduleRender();
}

function inGameSelect(id) {
  var n = toNumber(id), game = games[n];
  if (game && filter != 'all') {
    filter = 'all';
  }
  // Asked for from outside: brought into sight even when it was selected.
  revealedId = 0;
  selectGame(n, false);
}

function inAdUpdate(clickUrl, imageUrl) {
  showAd(clickUrl, imageUrl);
}

function inMsgBox(code, text) {
  openDialog(messageText(code, text));
}

// A social network's login went through: offer to post the game.
// network: 1 Facebook, 0 VKontakte.
function inShowShareDialog(id, network) {
  var game = games[toNumber(id)];
  var facebook = toNumber(network) == 1;
  var title = game ? game.name : 'this game';
  openDialog('Post ' + title + ' to your ' + (facebook ? 'Facebook feed' : 'VKontakte wall') + '?',
             'Post', function () {
    callProgram(facebook ? 'shareGameToFacebook' : 'shareGameToVkontakte', toNumber(id));
  });
}

// Balloon functions; the main page shows the item itself when given one.
function inNewGame(id, afl, name, desc) {
  inGameSelect(id);
  return { width: WINDOW_WIDTH, height: WINDOW_HEIGHT };
}

function inNews(title, desc, image, link) {
  openDialog(toText(title) + ': ' + toText(desc), 'Read more', function () {
    callProgram('kernelUrl', toText(link));
  });
  return { width: WINDOW_WIDTH, height: WINDOW_HEIGHT };
}
