// The notification balloon: a new game or a news item. The program fills
// it through inNewGame or inNews, which answer with the balloon's size; the
// page closes the balloon itself (window.external.windowClose). Plain ES3.

var BALLOON_WIDTH = 320;
var BALLOON_HEIGHT = 120;
// A balloon nobody touches goes away after this long.
var CLOSE_AFTER_MS = 30000;

var gamesDll = '';
var closeTimer = null;

function closeBalloon() {
  if (closeTimer !== null) {
    window.clearTimeout(closeTimer);
    closeTimer = null;
  }
  callProgram('windowClose');
}

// The picture from url, or the title's initial when there is none.
function fillPicture(url, title) {
  var image = byId('image'), letter = byId('letter');
  setText(letter, title ? title.charAt(0).toUpperCase() : '!');
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

function fill(kind, title, text, pictureUrl, actionLabel, action) {
  setText(byId('kind'), kind);
  setText(byId('title'), title);
  setText(byId('text'), text);
  setText(byId('actionButton'), actionLabel);
  fillPicture(pictureUrl, title);
  byId('actionButton').onclick = function () {
    action();
    closeBalloon();
  };
  byId('closeButton').onclick = closeBalloon;
  if (closeTimer === null) {
    closeTimer = window.setTimeout(closeBalloon, CLOSE_AFTER_MS);
  }
  return { width: BALLOON_WIDTH, height: BALLOON_HEIGHT };
}

// ---- functions the program calls -----------------------------------------

// The program hands over the icon library ("games_dll") before a new game.
function inOptionLoad(name, value) {
  if (toText(name) == 'games_dll') {
    gamesDll = toText(value);
  }
  return true;
}

function inNewGame(id, afl, name, desc) {
  var gameId = toNumber(id);
  var picture = gamesDll && gameId ? 'res://' + gamesDll + '/SMALL/S' + gameId + '.PIC' : '';
  return fill('New game', toText(name), toText(desc), picture, 'Show me', function () {
    // Brings up the catalog with this game selected.
    callProgram('gameSelect', gameId);
  });
}

function inNews(title, desc, image, link) {
  var address = toText(link);
  return fill('News', toText(title), toText(desc), toText(image), 'Read more', function () {
    if (address) {
      callProgram('kernelUrl', address);
    }
  });
}
