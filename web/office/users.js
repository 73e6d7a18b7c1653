// The accounts page (write role): the list, a new account, a new password, removal.
"use strict";

async function refresh() {
  let users;
  try {
    users = await api("/api/users");
  } catch (e) {
    text($("u-result"), e.message);
    return;
  }
  $("users").tBodies[0].replaceChildren(...users.map((u) => {
    const tr = document.createElement("tr");
    tr.dataset.user = u.user;
    tr.innerHTML = "<td></td><td></td><td><button>Remove</button></td>";
    tr.cells[0].textContent = u.user;
    tr.cells[1].textContent = u.role;
    tr.querySelector("button").addEventListener("click", () => act("del", { user: u.user }));
    return tr;
  }));
}

async function act(what, body) {
  try {
    await api("/api/users/" + what, body);
    text($("u-result"), what === "del" ? body.user + " removed" : body.user + ": done");
  } catch (e) {
    text($("u-result"), e.message);
  }
  refresh();
}

$("add-user").addEventListener("submit", (e) => {
  e.preventDefault();
  act("add", { user: $("u-name").value, password: $("u-password").value, role: $("u-role").value });
});
$("u-passwd").addEventListener("click", () =>
  act("passwd", { user: $("u-name").value, password: $("u-password").value }));

start(refresh);
