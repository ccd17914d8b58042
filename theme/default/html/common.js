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

// The display the style sheets give an element, or '' when the engine
// cannot say (getComputedStyle in newer engines, currentStyle in old IE).
function sheetDisplay(element) {
  var style = null;
  try {
    if (window.getComputedStyle) {
      style = window.getComputedStyle(element, null);
    } else if (element.currentStyle) {
      style = element.currentStyle;
    }
  } catch (e) {
    style = null;
  }
  return style ? toText(style.display) : '';
}

// Some blocks start hidden by the style sheet (the details, the
// advertisement, the dialog). Clearing the inline display hands the element
// back to the sheet, which would keep such a block hidden, so a block the
// sheet still hides is shown with a display of its own.
function show(element, visible) {
  if (!element) {
    return;
  }
  if (!visible) {
    element.style.display = 'none';
    return;
  }
  element.style.display = '';
  if (sheetDisplay(element) == 'none') {
    element.style.display = 'block';
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
