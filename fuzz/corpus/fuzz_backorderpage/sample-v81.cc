<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta http-equiv="Content-Type" content="text/html; charset=gbk">
<title>v81.cc 域名预订 - 示例域名市场</title>
</head>
<body>
<div class="header"><a href="/">首页</a> | <a href="/search?p=1">删除域名</a></div>
<div class="detail">
<h1>v81.cc</h1>
<div class="info">
<p><label>删除类型：</label>正常删除</p>
<p><label>删除时间：</label>2024-06-05 17:10:00</p>
<p><label>预订截止时间：</label>2024-06-05 15:00:00</p>
</div>
<div class="price">
<table cellspacing="0">
<tr><th>预定平台</th><th>预定价格</th><th>折合人民币</th><th>保证金</th><th>操作</th></tr>
<tr><td>Vexlon直连</td><td>US$14.33</td><td>103.17</td><td>100</td><td><a class="btn" href="/order/v81.cc">立即预订</a></td></tr>
</table>
</div>
<div class="whois">
<h2>whois信息</h2>
<pre>Domain Name: V81.CC
Registry Domain ID: 20245456s757966
Registrar WHOIS Server: whois.registrar.example
Updated Date: 2024-04-08T08:00:00Z
Creation Date: 2006-11-28T02:15:31Z
Registry Expiry Date: 2024-04-15T02:15:31Z
Registrar: Example Registrar Co., Ltd.
Domain Status: pendingDelete
Domain Status: redemptionPeriod
Name Server: NS1.DNS.EXAMPLE
Name Server: NS2.DNS.EXAMPLE
DNSSEC: unsigned</pre>
</div>
</div>
</body>
</html>
