# The same job in awk: code and numbers from "code,number[,number]" lines,
# label and "%.16g" result out, with the calculator's banner first.
BEGIN {
  FS = ","
  printf "### Zahlwerk-ZW ### V.1.1 ###\r\n###Kommandozeilenparameter###\r\n\r\n"
  printf " + (Plus)      - (Minus)     x (Mal)       / (Geteilt)   h (Hoch)\r\n"
  printf " kd (Kreis-Dm)               kr (Kreis-r)  ku (Kreis-U)  kf (Kreis-F)\r\n"
  printf " qu (Quadrat-U)              qf (Quadrat-F)              ru (Rechteck-U)\r\n"
  printf " rf (Rechteck-F)\r\n\r\n"
  pi = 3.141592653589793
  r = 0
}
{
  op = $1; a = $2 + 0; b = $3 + 0; l = "Ergebnis: "
  if (op == "+") { r = b + a; l = "Summe: " }
  else if (op == "-") { r = a - b; l = "Differenz: " }
  else if (op == "x") { r = b * a; l = "Produkt: " }
  else if (op == "/") { r = a / b; l = "Quotient: " }
  else if (op == "h") { r = r ^ a }
  else if (op == "kd" || op == "qf") { r = 2 * a }
  else if (op == "kr") { r = a / 2 }
  else if (op == "ku") { r = (pi * 2) * a }
  else if (op == "kf") { r = (a * pi) * 2 }
  else if (op == "qu") { r = (a + a) * 2 }
  else if (op == "ru") { r = (2 * b) + a }
  else if (op == "rf") { r = b * a }
  else next
  s = sprintf("%.16g", r)
  if (substr(s, 1, 1) != "-") s = " " s
  printf "%s%s\r\n", l, s
}
