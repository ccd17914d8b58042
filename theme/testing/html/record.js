// The recording page for end-to-end tests of the program. Every page
// function the program can call is defined here (inTestQuivmarkSkin in
// probe.js, which one build leaves empty) and appends one line to the log:
//
//   name|type:value|type:value...
//
// one field per argument received, in order; type is the argument's typeof
// (number, string, boolean, undefined, object, ...; a null is "null:").
// Strings are escaped: \\ for a backslash, \| for the separator, \n \r \t,
// and \xHH for any other control character. Calls into window.external made
// through testCall are logged too, as ">name|args..." before the call and
// "<name|ok" or "<name|error:0xHHHHHHHH" (the error's number) after it, so
// page calls that arrive while the program handles a method show up between
// the two.
//
// Functions for the test (not called by the program):
//   testLog()                      the log, every line ended by "\n"
//   testClear()                    empties the log
//   testCount()                    number of lines in the log
//   testPage()                     "main" or "balloon"
//   testCall(name[, a[, b[, c]]])  calls window.external[name] with the
//                                  arguments given; returns "ok" or
//                                  "error:0xHHHHHHHH"
//   testReturn(name, value)        page function name returns value from now
//                                  on (no value: returns nothing)
//   testReturnSize(name, w, h)     ... returns {width: w, height: h}
//   testThrow(name, message)       ... throws an Error(message) after logging
//   testReset()                    back to the defaults: inTestQuivmarkSkin
//                                  true, inSkinInfo "testing", inNewGame and
//                                  inNews {width: 300, height: 120}, the
//                                  others nothing
// Plain ES3, like every page of a theme.

var testEntries = [];
var testAnswers = {};
var testPageName = '';

function testEscape(text) {
  var out = '', i, c, code, hex;
  for (i = 0; i < text.length; i++) {
    c = text.charAt(i);
    code = text.charCodeAt(i);
    if (c == '\\') {
      out += '\\\\';
    } else if (c == '|') {
      out += '\\|';
    } else if (c == '\n') {
      out += '\\n';
    } else if (c == '\r') {
      out += '\\r';
    } else if (c == '\t') {
      out += '\\t';
    } else if (code < 32 || code == 127) {
      hex = code.toString(16);
      out += '\\x' + (hex.length < 2 ? '0' + hex : hex);
    } else {
      out += c;
    }
  }
  return out;
}

function testValue(value) {
  var type, text;
  // Some engines leave automation types they cannot convert as opaque
  // values on which even typeof fails; such a value is logged as unknown.
  try {
    type = typeof value;
  } catch (e) {
    return 'unknown:';
  }
  if (type == 'unknown') {
    return 'unknown:';
  }
  if (value === null) {
    return 'null:';
  }
  if (type == 'string') {
    return 'string:' + testEscape(value);
  }
  if (type == 'undefined') {
    return 'undefined:';
  }
  // Values the engine cannot turn into text (foreign automation types)
  // still leave their type in the log.
  try {
    text = String(value);
  } catch (e) {
    text = '?';
  }
  return type + ':' + testEscape(text);
}

function testRecord(name, args) {
  var line = name, i;
  for (i = 0; i < args.length; i++) {
    line += '|' + testValue(args[i]);
  }
  testEntries.push(line);
}

function testAnswer(name) {
  var answer;
  if (!testAnswers.hasOwnProperty(name)) {
    return undefined;
  }
  answer = testAnswers[name];
  if (answer.kind == 'throw') {
    throw new Error(answer.value);
  }
  if (answer.kind == 'size') {
    return { width: answer.width, height: answer.height };
  }
  return answer.value;
}

function testErrorNumber(e) {
  var n = e ? e.number : undefined, hex;
  if (typeof n != 'number') {
    return 'unknown';
  }
  if (n < 0) {
    n += 4294967296;
  }
  hex = n.toString(16);
  while (hex.length < 8) {
    hex = '0' + hex;
  }
  return '0x' + hex;
}

// ---- functions for the test ----------------------------------------------

function testLog() {
  var text = '', i;
  for (i = 0; i < testEntries.length; i++) {
    text += testEntries[i] + '\n';
  }
  return text;
}

function testClear() {
  testEntries = [];
}

function testCount() {
  return testEntries.length;
}

function testPage() {
  return testPageName;
}

function testCall(name, a, b, c) {
  var program = window.external, outcome;
  testRecord('>' + name, [a, b, c].slice(0, arguments.length - 1));
  try {
    switch (arguments.length) {
      case 1: program[name](); break;
      case 2: program[name](a); break;
      case 3: program[name](a, b); break;
      default: program[name](a, b, c); break;
    }
    outcome = 'ok';
  } catch (e) {
    outcome = 'error:' + testErrorNumber(e);
  }
  testEntries.push('<' + name + '|' + outcome);
  return outcome;
}

function testReturn(name, value) {
  testAnswers[name] = { kind: 'value', value: value };
}

function testReturnSize(name, width, height) {
  testAnswers[name] = { kind: 'size', width: width, height: height };
}

function testThrow(name, message) {
  testAnswers[name] = { kind: 'throw', value: message };
}

function testReset() {
  testAnswers = {};
  testReturn('inTestQuivmarkSkin', true);
  testReturn('inSkinInfo', 'testing');
  testReturnSize('inNewGame', 300, 120);
  testReturnSize('inNews', 300, 120);
}

testReset();

// ---- functions the program calls -----------------------------------------

function inOptionLoad(name, value) {
  testRecord('inOptionLoad', arguments);
  return testAnswer('inOptionLoad');
}

function inRender(enable) {
  testRecord('inRender', arguments);
  return testAnswer('inRender');
}

function inGameUpdate(id, afl, name, desc, status, release, rating, installed, runs,
                      custom, itunesId, itunesIdFree, itunesIdIpad, itunesIdIpadFree,
                      track, utm) {
  testRecord('inGameUpdate', arguments);
  return testAnswer('inGameUpdate');
}

function inGameSelect(id) {
  testRecord('inGameSelect', arguments);
  return testAnswer('inGameSelect');
}

function inAdUpdate(clickUrl, imageUrl) {
  testRecord('inAdUpdate', arguments);
  return testAnswer('inAdUpdate');
}

function inMsgBox(code, text) {
  testRecord('inMsgBox', arguments);
  return testAnswer('inMsgBox');
}

function inShowShareDialog(id, network) {
  testRecord('inShowShareDialog', arguments);
  return testAnswer('inShowShareDialog');
}

function inSkinInfo() {
  testRecord('inSkinInfo', arguments);
  return testAnswer('inSkinInfo');
}

function inNewGame(id, afl, name, desc) {
  testRecord('inNewGame', arguments);
  return testAnswer('inNewGame');
}

function inNews(title, desc, image, link) {
  testRecord('inNews', arguments);
  return testAnswer('inNews');
}
