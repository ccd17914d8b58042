// Script of the test page, read through <script src> relative to the page.
var log = [];

function record(text) {
    log.push(String(text));
}

function inLog() {
    return log.join('|');
}

function startPage() {
    var status = document.getElementById('status');
    status.innerHTML = 'ready <b>now</b>';
    status.className = 'ready';
    status.style.color = 'green';
    var list = document.getElementById('list');
    for (var i = 1; i <= 3; i++) {
        var item = document.createElement('li');
        item.id = 'item' + i;
        item.innerText = 'item ' + i;
        list.appendChild(item);
    }
    document.getElementById('name').value = 'changed';
    document.getElementById('link').href = 'second.html';
    var answer = window.external.hostCall('from page', 42, true);
    record('external: ' + answer);
    var dropped = setTimeout(function () { record('dropped timer'); }, 10);
    clearTimeout(dropped);
    setTimeout(function () {
        document.getElementById('timer').innerText = 'fired';
        record('timer');
    }, 50);
}

function inKinds(n, s, b) {
    return typeof n + ' ' + n + ', ' + typeof s + ' ' + s + ', ' + typeof b + ' ' + b;
}

function inAdd(a, b) {
    return a + b;
}

function inGreet(name) {
    return 'hello ' + name;
}

function inNot(flag) {
    return !flag;
}

function inSize(width, height) {
    return { width: width, height: height };
}

function inNumberInsteadOfSize() {
    return 7;
}

function inThrow() {
    throw new Error('thrown on purpose');
}

function inNothing() {
}

function inArgCount() {
    return arguments.length;
}

function inAskHost(text) {
    return window.external.hostCall(text);
}

function inJson(value) {
    return JSON.stringify({ value: value });
}

function inGo(address) {
    window.location = address;
}

function inGoLater(address, delay) {
    setTimeout(function () { location.href = address; }, delay);
}

function inClick(id) {
    document.getElementById(id).click();
    return inLog();
}

function inCloseHost() {
    window.external.note('close');
    record('after close');
    return 'survived';
}

function inHasExternal() {
    return typeof window.external.hostCall;
}
