// Helpers both pages of the theme share. Plain ES3.

function byId(id) {
  return document.getElementById(id);
}

function toText(value) {
  if (value === null || value === undefined) {
    return '';
  }
  return String(value);
}

function toNumber(value) {
  var n;
  try {
    n = Number(value);
  } catch (e) {
    return 0;
  }
  return isNaN(n) ? 0 : n;
}

// Text goes into the page as text nodes, never as markup: names and
// descriptions come from the web service.
function setText(element, text) {
  if (!element) {
    return;
  }
  element.innerHTML = '';
  element.appendChild(document.createTextNode(toText(text)));
}

function show(element, visible) {
  if (element) {
    element.style.display = visible ? '' : 'none';
  }
}

// Calls a method of the program. The page stays usable when it is opened
// without the program around it.
function callProgram(name, a, b, c) {
  var program;
  try {
    program = window.external;
  } catch (e) {
    return false;
  }
  if (!program) {
    return false;
  }
  try {
    switch (arguments.length) {
      case 1: program[name](); break;
      case 2: program[name](a); break;
      case 3: program[name](a, b); break;
      default: program[name](a, b, c); break;
    }
  } catch (e2) {
    return false;
  }
  return true;
}
